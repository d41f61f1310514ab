#include "platform/operator_console.h"

namespace vorel {

OperatorConsole::OperatorConsole(int argc, char** argv) {
  Keep(std::vector<std::string>(argv, argv + argc));
}

OperatorConsole::~OperatorConsole() = default;

}  // namespace vorel
