#include "booking/patient_cache.h"

#include <algorithm>
#include <chrono>

#include "platform/error.h"

namespace vorel {

PatientCache::PatientCache() : slots_(1) {
  byId_.Clear();
  byNameAndPolicy_.Clear();
}

const pac_rec* PatientCache::FindPatientById(int32_t id) const {
  const int32_t n = byId_.Find(id);
  return n != 0 && n <= count_ ? &slot(n) : nullptr;
}

std::vector<const pac_rec*> PatientCache::FindPatientsByNameAndPolicy(std::string_view fiol,
                                                                      std::string_view npol) const {
  std::vector<const pac_rec*> found;
  for (int32_t n = byNameAndPolicy_.First(slots_, fiol, npol); n != 0 && n <= count_;
       n = byNameAndPolicy_.NextSlot(n)) {
    found.push_back(&slot(n));
  }
  return found;
}

const pac_rec* PatientCache::ScanPatientById(int32_t id) const {
  for (int32_t n = 1; n <= count_; ++n) {
    if (slot(n).kl == id) return &slot(n);
  }
  return nullptr;
}

std::vector<const pac_rec*> PatientCache::ScanPatientsByNameAndPolicy(std::string_view fiol,
                                                                      std::string_view npol) const {
  std::vector<const pac_rec*> found;
  for (int32_t n = 1; n <= count_; ++n) {
    if (slot(n).fiol.view() == fiol && slot(n).npol.view() == npol) found.push_back(&slot(n));
  }
  return found;
}

void PatientCache::BeginLoad() {
  count_ = 0;
  committed_ = 0;
  byId_.Clear();
  byNameAndPolicy_.Clear();
}

void PatientCache::Reserve(int32_t patients) {
  if (patients <= 0) return;
  slots_.reserve(static_cast<std::size_t>(patients) + 1);
  byId_.Reserve(static_cast<std::size_t>(patients));
  byNameAndPolicy_.Reserve(static_cast<std::size_t>(patients));
}

pac_rec& PatientCache::PrepareSlot(int32_t n) {
  if (n != committed_ + 1) throw Error("Patient cache slots must be filled in order");
  const auto index = static_cast<std::size_t>(n);
  if (index < slots_.size()) {
    // A slot may hold a patient of an earlier load: nothing of it may survive into this one.
    slots_[index].Clear();
  } else {
    slots_.emplace_back();
  }
  return slots_[index];
}

void PatientCache::CommitSlot(int32_t n) {
  if (n != committed_ + 1) throw Error("Patient cache slots must be indexed in order");
  byId_.Add(slot(n).kl, n);
  byNameAndPolicy_.Add(slots_, n);
  committed_ = n;
}

void PatientCache::FinishLoad(int32_t count) {
  count_ = std::clamp(count, 0, committed_);
}

std::size_t PatientCache::HeldBytes() const {
  return sizeof(*this) + slots_.capacity() * sizeof(pac_rec) + byId_.HeldBytes() +
         byNameAndPolicy_.HeldBytes();
}

bool PatientReloadDue(const PatientCache& cache, Clock::TimePoint now) {
  const auto elapsed = now > cache.timeOfLastLoad ? now - cache.timeOfLastLoad : cache.timeOfLastLoad - now;
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(elapsed).count();
  return minutes > std::max<int64_t>(30, cache.count() / 1000);
}

}  // namespace vorel
