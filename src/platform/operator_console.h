#pragma once

#include <string>
#include <vector>

// The operator commands' text at the terminal: UTF-8 in and out, whatever the system's code pages are.
// POSIX: the arguments and the output as they are. Windows: the arguments read again from the wide command
// line (the ANSI ones come in Windows-1251, not UTF-8, and have lost what it cannot hold), and a console's
// output switched to UTF-8 for the life of the object; a redirected output gets the UTF-8 bytes.
namespace vorel {

class OperatorConsole {
 public:
  OperatorConsole(int argc, char** argv);
  ~OperatorConsole();
  OperatorConsole(const OperatorConsole&) = delete;
  OperatorConsole& operator=(const OperatorConsole&) = delete;

  // The arguments in UTF-8, the program's name first, as main() has them.
  int argc() const { return static_cast<int>(arguments_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  void Keep(std::vector<std::string> arguments);

  std::vector<std::string> arguments_;
  std::vector<char*> pointers_;         // into arguments_, ended by a null pointer
  unsigned restoreOutputCodePage_ = 0;  // Windows: the console's own, while it is switched to UTF-8
};

}  // namespace vorel
