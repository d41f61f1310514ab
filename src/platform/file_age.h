#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The age of a file as the service compares it: the last-write time in local time packed as a 32-bit DOS
// date-time (date in the upper 16 bits), so a later write gives a larger signed value.
namespace vorel {

// -1 for a missing file, for a folder, and when the time cannot be packed (before 1980).
int32_t FileAge(const std::string& path);

// Packs a local date and time: bits 31-25 year-1980, 24-21 month, 20-16 day, 15-11 hour, 10-5 minute,
// 4-0 seconds/2. Returns -1 for a year outside 1980..2107.
int32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second);

// The age of the clinic file `fileName` in the folder given as text (a setting), found whatever the letter
// case of its name; -1 when there is none.
int32_t FileAgeInFolder(std::string_view folderText, std::string_view fileName);

}  // namespace vorel
