#pragma once

#include <string_view>

// A message for the operator who ran the program by hand (install and uninstall). POSIX: standard output, or
// standard error for a failure, in UTF-8. Windows: the console in its OEM code page, or a message box when
// the program has no console.
namespace vorel {

void ShowOperatorMessage(std::string_view ansiText, bool failure);

}  // namespace vorel
