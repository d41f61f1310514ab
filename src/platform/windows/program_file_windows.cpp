#include "platform/program_file.h"

namespace vorel {

std::string_view ProgramFileName() {
  return "vorel_service.exe";
}
std::string_view NewProgramFileName() {
  return "vorel_servicenew.exe";
}

// Every Windows program file begins with the DOS header's "MZ".
bool IsRunnableProgram(std::string_view bytes) {
  return bytes.substr(0, 2) == "MZ";
}

}  // namespace vorel
