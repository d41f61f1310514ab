#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/regional.h"
#include "sql/column.h"
#include "sql/value.h"

namespace vorel {

// Appends to a string through its own buffer: the string is lengthened ahead in steps and written in place,
// so that short pieces cost no capacity check of the string each; the text written so far is all it holds
// once the cursor is gone, also when a failure ends the writing early. Room for the expected length is
// reserved at once, but lengthened (and so filled) only a step ahead of the writing: an estimate too large
// costs no memory touched in vain.
class TextCursor {
 public:
  TextCursor(std::string& out, size_t expected) : out_(out), used_(out.size()) {
    out_.reserve(used_ + expected);
  }
  ~TextCursor() { out_.resize(used_); }
  TextCursor(const TextCursor&) = delete;
  TextCursor& operator=(const TextCursor&) = delete;

  // Where the next `n` bytes go; Wrote tells how many of them were written.
  char* Room(size_t n) {
    if (out_.size() - used_ < n) [[unlikely]]
      Grow(n);
    return out_.data() + used_;
  }
  void Wrote(size_t n) { used_ += n; }
  void Append(std::string_view text) {
    std::memcpy(Room(text.size()), text.data(), text.size());
    used_ += text.size();
  }

 private:
  static constexpr size_t kStep = size_t{64} << 10;
  void Grow(size_t n);

  std::string& out_;
  size_t used_;
};

// The value text of a Table XML cell: the default text form (value_text.h) trimmed of characters with codes
// up to 32 at both ends and without any CR or LF. One writer serves one rendering: it keeps the texts of the
// dates it wrote, as a result holds few distinct days in many rows and formatting each was most of the cost.
class CellTextWriter {
 public:
  explicit CellTextWriter(const RegionalSettings& regional) : regional_(regional) {}

  // Appends the value text and a TAB, or nothing when a failure passes on.
  void Append(TextCursor& out, const sql::Value& value, const sql::Column& column);

 private:
  struct DateText {
    bool used = false;
    uint8_t length = 0;
    char text[22] = {};
    int64_t day = 0;
  };
  static constexpr size_t kDateSlots = 64;  // by day modulo the count: a window of two months never collides

  void AppendDate(TextCursor& out, const sql::Value& value, const sql::Column& column);
  // The general form, trimmed.
  void AppendOther(TextCursor& out, const sql::Value& value, const sql::Column& column);

  const RegionalSettings& regional_;
  std::string scratch_;  // the untrimmed text of values written through the general form
  std::array<DateText, kDateSlots> dates_{};
};

}  // namespace vorel
