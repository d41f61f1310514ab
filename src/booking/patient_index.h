#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "booking/patient_record.h"

// Hash indexes beside the Patient cache slots. Slots are added in increasing slot order while the cache
// loads, so each index gives exactly what a scan of the slots in order would give.
namespace vorel {

// Patient id -> the lowest slot holding that id.
class PatientIdIndex {
 public:
  void Clear();
  // Makes room for that many ids without growing while they are added.
  void Reserve(std::size_t count);
  void Add(int32_t kl, int32_t slot);
  // The lowest slot with that id, or 0.
  int32_t Find(int32_t kl) const;
  std::size_t HeldBytes() const { return entries_.capacity() * sizeof(Entry); }

 private:
  struct Entry {
    int32_t kl = 0;
    int32_t slot = 0;  // 0: empty
  };
  void Grow();
  std::vector<Entry> entries_;
  std::size_t used_ = 0;
};

// (surname, policy number) -> every slot holding both, in slot order (a chain through the slots).
class PatientNameIndex {
 public:
  void Clear();
  void Reserve(std::size_t count);
  // `slots` gives the records of the slots already added and of `slot` itself.
  void Add(const std::vector<pac_rec>& slots, int32_t slot);
  // The first slot of the chain (0: none); NextSlot walks it in slot order (0 at its end).
  int32_t First(const std::vector<pac_rec>& slots, std::string_view fiol, std::string_view npol) const;
  int32_t NextSlot(int32_t slot) const { return next_[static_cast<std::size_t>(slot)]; }
  std::size_t HeldBytes() const {
    return entries_.capacity() * sizeof(Entry) + next_.capacity() * sizeof(int32_t);
  }

 private:
  struct Entry {
    uint32_t hash = 0;
    int32_t head = 0;  // 0: empty
    int32_t tail = 0;
  };
  void Grow();
  std::size_t Position(uint32_t hash, const std::vector<pac_rec>& slots, std::string_view fiol,
                       std::string_view npol) const;
  std::vector<Entry> entries_;
  std::vector<int32_t> next_;
  std::size_t used_ = 0;
};

uint32_t HashNameAndPolicy(std::string_view fiol, std::string_view npol);

}  // namespace vorel
