#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "booking/patient_index.h"
#include "booking/patient_record.h"
#include "platform/clock.h"

namespace vorel {

// The column list of the patient load when the portal gives none.
inline constexpr std::string_view kDefaultPatientColumnList =
    "npol,kl,fiol,im,ot,uch,npol,kl,lpu1,probc,data_r";

// The in-memory copy of the clinic's patient register. Slots are numbered from 1; after a load slots 1 to
// `patient count` hold the patients in the order the load query gave them. The table grows as a load needs
// it and keeps its room for the next load; the texts of the slots live in one store the cache owns, which
// each load replaces whole.
class PatientCache {
 public:
  PatientCache();

  int32_t count() const { return count_; }  // `patient count`
  const pac_rec& slot(int32_t n) const { return slots_[static_cast<std::size_t>(n)]; }

  // First slot (lowest number) among 1..count whose kl equals id, or nullptr.
  const pac_rec* FindPatientById(int32_t id) const;
  // Every slot among 1..count whose fiol and npol equal the given texts exactly, in slot order.
  std::vector<const pac_rec*> FindPatientsByNameAndPolicy(std::string_view fiol, std::string_view npol) const;

  // The same answers by walking the slots one by one (the reference the indexes must agree with).
  const pac_rec* ScanPatientById(int32_t id) const;
  std::vector<const pac_rec*> ScanPatientsByNameAndPolicy(std::string_view fiol, std::string_view npol) const;

  // Loading, used by LoadPatientCache: BeginLoad empties the cache (count 0); each row gets a cleared slot
  // from PrepareSlot (slot numbers 1, 2, 3, ... in turn) and is committed by CommitSlot once filled, whether
  // or not every field could be read; FinishLoad sets the count and indexes the slots it counts.
  void BeginLoad();
  // Makes room for that many patients in the current load (optional; the table grows anyway).
  void Reserve(int32_t patients);
  pac_rec& PrepareSlot(int32_t n);
  void CommitSlot(int32_t n);
  void FinishLoad(int32_t count);

  // A copy of `text` in the cache's text store, for a slot of the current load.
  PatientText Keep(std::string_view text);

  // Bytes the slots, their texts and the indexes hold.
  std::size_t HeldBytes() const;

  // `patient column list`: what the load selects; also used by adm_user and adm_polis.
  std::string columnList{kDefaultPatientColumnList};
  // `time of last load`: end of the last load attempt that ran to its end. The zero time point makes the
  // next poll cycle reload.
  Clock::TimePoint timeOfLastLoad{};

 private:
  PatientSlots slots_;  // slot 0 is never filled
  // The texts of the current load, one after the other in large blocks; all of them go at the next load.
  std::unique_ptr<std::pmr::monotonic_buffer_resource> texts_;
  std::size_t keptBytes_ = 0;
  int32_t count_ = 0;
  int32_t committed_ = 0;  // highest slot committed in the current load
  PatientIdIndex byId_;
  PatientNameIndex byNameAndPolicy_;
};

// True when the poll cycle must reload: more whole minutes since the last load than the larger of 30 and
// patient count div 1000.
bool PatientReloadDue(const PatientCache& cache, Clock::TimePoint now);

}  // namespace vorel
