#include "platform/code_page.h"
#include "platform/oem_text.h"

namespace vorel {

std::string SystemAnsiToOem(std::string_view ansi) {
  return AnsiToOem(ansi);
}

}  // namespace vorel
