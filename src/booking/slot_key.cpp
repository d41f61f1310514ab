#include "booking/slot_key.h"

namespace vorel {

std::string BuildSlotKey(std::string_view kw, std::string_view date, std::string_view time) {
  std::string key;
  key.reserve(date.size() + time.size() + 5 + kw.size());
  key += date;
  key += time;
  if (kw.size() < 5) key.append(5 - kw.size(), ' ');
  key += kw;
  return key;
}

SlotBlock SlotBlockOf(int32_t kw) {
  const int64_t first = static_cast<int64_t>(kw) / 1000 * 1000;
  return {first, first + 999};
}

}  // namespace vorel
