#include "platform/operator_console.h"

namespace vorel {

void OperatorConsole::Keep(std::vector<std::string> arguments) {
  arguments_ = std::move(arguments);
  pointers_.clear();
  for (std::string& argument : arguments_) pointers_.push_back(argument.data());
  pointers_.push_back(nullptr);
}

}  // namespace vorel
