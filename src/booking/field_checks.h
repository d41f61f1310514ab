#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "booking/reply_fields.h"
#include "platform/error.h"

// Shape checks of the reply fields that go into statements, so that no field can change what a statement
// means: numbers are read by ParseReplyInteger and written anew, dates must be eight digits, texts fit a
// literal.
namespace vorel {

// A reply field refused before it reached a statement; the message names the field.
VOREL_DEFINE_ERROR(ReplyFieldError, Error);

// Exactly eight digits (yyyymmdd).
bool IsEightDigits(std::string_view text);
// The value as a text literal: no control characters, and a delimiter it does not contain; nothing when
// there is no such literal.
std::optional<std::string> TextLiteral(std::string_view value);

// The slot of a booking or cancellation: fields 4 (slot number), 5 (date) and 6 (time).
struct SlotFields {
  int32_t kw = 0;
  std::string kwText;       // the slot number in plain decimal
  std::string date;         // yyyymmdd
  std::string timeLiteral;  // the time as a text literal
  std::string keyLiteral;   // the slot key DTOC(dat,1)+tim+str(kw,5) as a text literal
};
// Reads and checks the three fields; throws ReplyFieldError naming the first bad one.
SlotFields ReadSlotFields(const ReplyFields& fields);

}  // namespace vorel
