#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Numbers that the portal's reply fields carry into statements. A field is read once, here, and what goes
// into a statement is the number written in plain decimal, never the field itself.
namespace vorel {

// A 32-bit integer from a reply field: an optional "-", then decimal digits (leading zeros allowed), within
// the 32-bit range; no blanks and no "+". Nothing for anything else.
std::optional<int32_t> ParseReplyInteger(std::string_view field);

}  // namespace vorel
