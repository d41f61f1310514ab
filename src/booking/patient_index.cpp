#include "booking/patient_index.h"

#include <algorithm>
#include <array>

namespace vorel {
namespace {

// Sorts by key; stable, so entries added in slot order keep it among equal keys. Least significant digit
// first, 11 bits a pass: three passes over the entries whatever their number.
void SortByKey(PatientIndexEntries& entries) {
  constexpr int kBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  PatientIndexEntries scratch(entries.size());
  for (int shift = 0; shift < 32; shift += kBits) {
    std::array<std::size_t, kBuckets> start{};
    for (const PatientIndexEntry& e : entries) ++start[(e.key >> shift) & (kBuckets - 1)];
    std::size_t sum = 0;
    for (std::size_t& n : start) sum += std::exchange(n, sum);
    for (const PatientIndexEntry& e : entries) scratch[start[(e.key >> shift) & (kBuckets - 1)]++] = e;
    entries.swap(scratch);
  }
}

PatientIndexEntries::const_iterator FirstOf(const PatientIndexEntries& entries, uint32_t key) {
  return std::lower_bound(entries.begin(), entries.end(), key,
                          [](const PatientIndexEntry& e, uint32_t k) { return e.key < k; });
}

}  // namespace

uint32_t HashNameAndPolicy(std::string_view fiol, std::string_view npol) {
  // FNV-1a over both texts with a separator that cannot be confused with a shift of bytes between them.
  uint32_t h = 2166136261u;
  for (char c : fiol) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  h = (h ^ 0x100u) * 16777619u;
  for (char c : npol) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h ^ (h >> 15);
}

void PatientIdIndex::Build(const PatientSlots& slots, int32_t count) {
  entries_.clear();
  entries_.reserve(static_cast<std::size_t>(std::max(count, 0)));
  for (int32_t n = 1; n <= count; ++n) {
    entries_.push_back({static_cast<uint32_t>(slots[static_cast<std::size_t>(n)].kl), n});
  }
  SortByKey(entries_);
}

int32_t PatientIdIndex::Find(int32_t kl) const {
  const auto it = FirstOf(entries_, static_cast<uint32_t>(kl));
  return it != entries_.end() && it->key == static_cast<uint32_t>(kl) ? it->slot : 0;
}

void PatientNameIndex::Build(const PatientSlots& slots, int32_t count) {
  entries_.clear();
  entries_.reserve(static_cast<std::size_t>(std::max(count, 0)));
  for (int32_t n = 1; n <= count; ++n) {
    const pac_rec& rec = slots[static_cast<std::size_t>(n)];
    entries_.push_back({HashNameAndPolicy(rec.fiol, rec.npol), n});
  }
  SortByKey(entries_);
}

std::vector<const pac_rec*> PatientNameIndex::Find(const PatientSlots& slots, std::string_view fiol,
                                                   std::string_view npol) const {
  std::vector<const pac_rec*> found;
  const uint32_t hash = HashNameAndPolicy(fiol, npol);
  for (auto it = FirstOf(entries_, hash); it != entries_.end() && it->key == hash; ++it) {
    const pac_rec& rec = slots[static_cast<std::size_t>(it->slot)];
    if (rec.fiol.view() == fiol && rec.npol.view() == npol) found.push_back(&rec);
  }
  return found;
}

}  // namespace vorel
