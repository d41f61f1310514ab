#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "booking/patient_record.h"
#include "platform/large_block.h"

// Sorted indexes beside the Patient cache slots, built in one pass when a load ends: sorting a million keys
// touches memory in order, where inserting them one by one into a hash table missed the processor's caches
// at every patient. Entries with equal keys keep slot order, so each index gives exactly what a scan of the
// slots in order would give.
namespace vorel {

// A key with its slot; the sort is by key, then slot.
struct PatientIndexEntry {
  uint32_t key = 0;
  int32_t slot = 0;
};
using PatientIndexEntries = std::vector<PatientIndexEntry, LargeBlockAllocator<PatientIndexEntry>>;

// Patient id -> the lowest slot holding that id.
class PatientIdIndex {
 public:
  void Clear() { entries_.clear(); }
  // Indexes slots 1..count.
  void Build(const PatientSlots& slots, int32_t count);
  // The lowest slot with that id, or 0.
  int32_t Find(int32_t kl) const;
  std::size_t HeldBytes() const { return entries_.capacity() * sizeof(PatientIndexEntry); }

 private:
  PatientIndexEntries entries_;
};

// (surname, policy number) -> every slot holding both, in slot order.
class PatientNameIndex {
 public:
  void Clear() { entries_.clear(); }
  void Build(const PatientSlots& slots, int32_t count);
  std::vector<const pac_rec*> Find(const PatientSlots& slots, std::string_view fiol,
                                   std::string_view npol) const;
  std::size_t HeldBytes() const { return entries_.capacity() * sizeof(PatientIndexEntry); }

 private:
  PatientIndexEntries entries_;
};

uint32_t HashNameAndPolicy(std::string_view fiol, std::string_view npol);

}  // namespace vorel
