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

// Saves the bytes as a runnable program file at `path`, which never holds anything but a whole program,
// creating its folder (for the owner alone) when missing. Fails with FileWriteError naming the file.
void SaveProgramFile(const std::string& path, std::string_view bytes);

// The folder, with its trailing separator, where adm_update keeps the portal's program when the installed
// one must stay as installed (a package's): $VOREL_UPDATE_FOLDER (POSIX), or empty when there is none.
std::string UpdateFolder();

// When the update folder holds a program file newer than the running one, runs it in place of this process
// (with no arguments: the service run). Returns when there is none or it cannot be run.
void RunNewerUpdate();

}  // namespace vorel
