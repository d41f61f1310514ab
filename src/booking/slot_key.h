#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorel {

// The slot key the database computes as DTOC(dat,1)+tim+str(kw,5): the date as yyyymmdd, the time as
// stored, the slot number right-aligned in 5 characters (a longer number is kept whole).
std::string BuildSlotKey(std::string_view kw, std::string_view date, std::string_view time);

// The block of 1000 slot numbers a slot number belongs to: a = (n div 1000) * 1000 (truncating toward
// zero), b = a + 999.
struct SlotBlock {
  int64_t first;
  int64_t last;
};
SlotBlock SlotBlockOf(int32_t kw);

}  // namespace vorel
