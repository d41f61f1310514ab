#pragma once

#include <string>

// Where the running program file lies.
namespace vorel {

// Full path of the running program file. Fails with vorel::Error when the system cannot tell.
std::string ProgramPath();

// Folder of the running program file, with its trailing separator (POSIX "/", Windows "\").
std::string ProgramFolder();

}  // namespace vorel
