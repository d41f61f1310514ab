#pragma once

#include <array>
#include <string>

namespace vorel {

// The portal's reply split at "&": field 0 the session token, field 1 the command word, 2..9 the arguments.
using ReplyFields = std::array<std::string, 10>;

}  // namespace vorel
