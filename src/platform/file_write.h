#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace vorel {

VOREL_DEFINE_ERROR(FileWriteError, Error);

// Creates or replaces the file with exactly these bytes; fails with FileWriteError naming the file.
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace vorel
