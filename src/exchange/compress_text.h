#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace vorel {

VOREL_DEFINE_ERROR(CompressError, Error);

// One zlib stream (RFC 1950) of the whole text at level 9, finished with one final flush.
std::string CompressText(std::string_view text);

// The inverse, for the portal simulator and the tests; fails with CompressError on a damaged stream.
std::string DecompressText(std::string_view stream);

}  // namespace vorel
