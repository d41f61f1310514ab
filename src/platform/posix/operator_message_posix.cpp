#include <cstdio>
#include <string>

#include "platform/code_page.h"
#include "platform/operator_message.h"

namespace vorel {

void ShowOperatorMessage(std::string_view ansiText, bool failure) {
  const std::string line = AnsiToUtf8(ansiText) + "\n";
  std::FILE* out = failure ? stderr : stdout;
  std::fputs(line.c_str(), out);
  std::fflush(out);
}

}  // namespace vorel
