#pragma once

#include <string>
#include <string_view>

// Facts about the service's own program file on this platform, used by the self-update.
namespace vorel {

// File name of the installed program and of a downloaded new one, in the program folder.
std::string_view ProgramFileName();
std::string_view NewProgramFileName();

// Whether the bytes are a program this platform can run (an ELF image on POSIX, "MZ" on Windows), so that an
// error page from a proxy or server is never installed in place of the service.
bool IsRunnableProgram(std::string_view bytes);

// Saves the bytes as a runnable program file at `path`, which never holds anything but a whole program.
// Fails with FileWriteError naming the file.
void SaveProgramFile(const std::string& path, std::string_view bytes);

}  // namespace vorel
