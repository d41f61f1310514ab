#pragma once

#include <string>
#include <string_view>

// The system's ANSI-to-OEM conversion, through which a folder name reaches the command processor in the code
// page it reads scripts in.
namespace vorel {

// Windows-1251 text in code page 866, character by character; the result has the length of the input.
// Windows: the system's conversion (1251 -> UTF-16 -> 866), whose best-fit rules give a character that 866
// lacks its nearest look-alike ('«' becomes '<', '—' becomes '-'). POSIX: the table of AnsiToOem, which gives
// such a character as '?'.
std::string SystemAnsiToOem(std::string_view ansi);

}  // namespace vorel
