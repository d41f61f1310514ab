#include "platform/program_file.h"

namespace vorel {

std::string_view ProgramFileName() {
  return "vorel_service";
}
std::string_view NewProgramFileName() {
  return "vorel_servicenew";
}

bool IsRunnableProgram(std::string_view bytes) {
  return bytes.substr(0, 4) == std::string_view(
                                   "\x7F"
                                   "ELF",
                                   4);
}

}  // namespace vorel
