#include "booking/text_trim.h"

namespace vorel {
namespace {
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
}  // namespace

std::string_view TrimRightText(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimText(std::string_view text) {
  text = TrimRightText(text);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

}  // namespace vorel
