#pragma once

#include <string_view>

namespace vorel {

// The text without its leading and trailing characters of code 32 or below (blanks, tabs, line breaks).
std::string_view TrimText(std::string_view text);
// The text without its trailing characters of code 32 or below.
std::string_view TrimRightText(std::string_view text);

}  // namespace vorel
