#include "booking/patient_cache.h"

#include <algorithm>
#include <chrono>

#include "platform/error.h"

namespace vorel {

namespace {

// Room for the texts of a patient, as a first guess of the store's size when the load knows its row count.
constexpr std::size_t kTextBytesPerPatient = 40;

}  // namespace

PatientCache::PatientCache()
    : slots_(1), texts_(std::make_unique<std::pmr::monotonic_buffer_resource>(LargeBlockUpstream())) {
  byId_.Clear();
  byNameAndPolicy_.Clear();
}

const pac_rec* PatientCache::FindPatientById(int32_t id) const {
  const int32_t n = byId_.Find(id);  // built over slots 1..count only
  return n != 0 && n <= count_ ? &slot(n) : nullptr;
}

std::vector<const pac_rec*> PatientCache::FindPatientsByNameAndPolicy(std::string_view fiol,
                                                                      std::string_view npol) const {
  return byNameAndPolicy_.Find(slots_, fiol, npol);
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
  // The texts of the earlier load go with their slots; the table keeps its room.
  slots_.resize(1);
  texts_ = std::make_unique<std::pmr::monotonic_buffer_resource>(LargeBlockUpstream());
  keptBytes_ = 0;
  byId_.Clear();
  byNameAndPolicy_.Clear();
}

void PatientCache::Reserve(int32_t patients) {
  if (patients <= 0) return;
  if (keptBytes_ == 0) {
    texts_ = std::make_unique<std::pmr::monotonic_buffer_resource>(
        static_cast<std::size_t>(patients) * kTextBytesPerPatient, LargeBlockUpstream());
  }
  slots_.reserve(static_cast<std::size_t>(patients) + 1);
}

pac_rec& PatientCache::PrepareSlot(int32_t n) {
  if (n != committed_ + 1) throw Error("Patient cache slots must be filled in order");
  const auto index = static_cast<std::size_t>(n);
  if (index < slots_.size()) {
    slots_[index].Clear();  // prepared once before and left uncommitted
  } else {
    slots_.emplace_back();
  }
  return slots_[index];
}

void PatientCache::CommitSlot(int32_t n) {
  if (n != committed_ + 1) throw Error("Patient cache slots must be committed in order");
  committed_ = n;
}

void PatientCache::FinishLoad(int32_t count) {
  count_ = std::clamp(count, 0, committed_);
  byId_.Build(slots_, count_);
  byNameAndPolicy_.Build(slots_, count_);
}

PatientText PatientCache::Keep(std::string_view text) {
  if (text.empty()) return {};
  char* copy = static_cast<char*>(texts_->allocate(text.size(), 1));
  std::copy(text.begin(), text.end(), copy);
  keptBytes_ += text.size();
  return PatientText(std::string_view(copy, text.size()));
}

std::size_t PatientCache::HeldBytes() const {
  return sizeof(*this) + slots_.capacity() * sizeof(pac_rec) + keptBytes_ + byId_.HeldBytes() +
         byNameAndPolicy_.HeldBytes();
}

bool PatientReloadDue(const PatientCache& cache, Clock::TimePoint now) {
  const auto elapsed = now > cache.timeOfLastLoad ? now - cache.timeOfLastLoad : cache.timeOfLastLoad - now;
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(elapsed).count();
  return minutes > std::max<int64_t>(30, cache.count() / 1000);
}

}  // namespace vorel
