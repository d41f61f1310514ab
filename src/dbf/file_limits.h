#pragma once

#include <cstdint>

// How far a table's index and memo files may grow: VFP takes its lock bytes from 0x7FFFFFFE down (the index
// lock at that very offset), so no page or block of ours may reach it.
namespace vorel::dbf {

inline constexpr uint64_t kCompanionFileLimit = 0x7FFFFFFE;

}  // namespace vorel::dbf
