#pragma once

#include <string_view>

#include "booking/reply_fields.h"

namespace vorel {

// Splits a reply at the separator into the ten reply fields; fields the text does not reach stay empty,
// nothing is trimmed, and the tenth field keeps the rest of the text, separators included.
ReplyFields SplitFields(std::string_view text, char separator);

}  // namespace vorel
