#include "booking/patient_index.h"

namespace vorel {
namespace {

constexpr std::size_t kInitialEntries = 1024;

// Entries for `count` keys at a load factor of at most one half.
std::size_t EntriesFor(std::size_t count) {
  std::size_t n = kInitialEntries;
  while (n < count * 2) n *= 2;
  return n;
}

uint32_t MixId(int32_t kl) {
  uint64_t x = static_cast<uint32_t>(kl);
  x *= 0x9E3779B97F4A7C15ull;
  return static_cast<uint32_t>(x >> 32);
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

void PatientIdIndex::Clear() {
  entries_.assign(kInitialEntries, Entry{});
  used_ = 0;
}

void PatientIdIndex::Reserve(std::size_t count) {
  if (used_ == 0 && EntriesFor(count) > entries_.size()) entries_.assign(EntriesFor(count), Entry{});
}

void PatientIdIndex::Grow() {
  std::vector<Entry> old = std::move(entries_);
  entries_.assign(old.size() * 2, Entry{});
  const std::size_t mask = entries_.size() - 1;
  for (const Entry& e : old) {
    if (e.slot == 0) continue;
    std::size_t i = MixId(e.kl) & mask;
    while (entries_[i].slot != 0) i = (i + 1) & mask;
    entries_[i] = e;
  }
}

void PatientIdIndex::Add(int32_t kl, int32_t slot) {
  if (entries_.empty()) Clear();
  if ((used_ + 1) * 2 > entries_.size()) Grow();
  const std::size_t mask = entries_.size() - 1;
  std::size_t i = MixId(kl) & mask;
  while (entries_[i].slot != 0) {
    if (entries_[i].kl == kl) return;  // an earlier slot already holds this id and wins
    i = (i + 1) & mask;
  }
  entries_[i] = Entry{kl, slot};
  ++used_;
}

int32_t PatientIdIndex::Find(int32_t kl) const {
  if (entries_.empty()) return 0;
  const std::size_t mask = entries_.size() - 1;
  for (std::size_t i = MixId(kl) & mask; entries_[i].slot != 0; i = (i + 1) & mask) {
    if (entries_[i].kl == kl) return entries_[i].slot;
  }
  return 0;
}

void PatientNameIndex::Clear() {
  entries_.assign(kInitialEntries, Entry{});
  next_.clear();
  used_ = 0;
}

void PatientNameIndex::Reserve(std::size_t count) {
  if (used_ == 0 && EntriesFor(count) > entries_.size()) entries_.assign(EntriesFor(count), Entry{});
  next_.reserve(count + 1);
}

void PatientNameIndex::Grow() {
  std::vector<Entry> old = std::move(entries_);
  entries_.assign(old.size() * 2, Entry{});
  const std::size_t mask = entries_.size() - 1;
  for (const Entry& e : old) {
    if (e.head == 0) continue;
    std::size_t i = e.hash & mask;
    while (entries_[i].head != 0) i = (i + 1) & mask;
    entries_[i] = e;
  }
}

std::size_t PatientNameIndex::Position(uint32_t hash, const std::vector<pac_rec>& slots,
                                       std::string_view fiol, std::string_view npol) const {
  const std::size_t mask = entries_.size() - 1;
  std::size_t i = hash & mask;
  while (entries_[i].head != 0) {
    const Entry& e = entries_[i];
    if (e.hash == hash) {
      const pac_rec& head = slots[static_cast<std::size_t>(e.head)];
      if (head.fiol.view() == fiol && head.npol.view() == npol) return i;
    }
    i = (i + 1) & mask;
  }
  return i;
}

void PatientNameIndex::Add(const std::vector<pac_rec>& slots, int32_t slot) {
  if (entries_.empty()) Clear();
  if ((used_ + 1) * 2 > entries_.size()) Grow();
  if (next_.size() <= static_cast<std::size_t>(slot)) next_.resize(static_cast<std::size_t>(slot) + 1, 0);
  next_[static_cast<std::size_t>(slot)] = 0;
  const pac_rec& rec = slots[static_cast<std::size_t>(slot)];
  const uint32_t hash = HashNameAndPolicy(rec.fiol, rec.npol);
  Entry& e = entries_[Position(hash, slots, rec.fiol, rec.npol)];
  if (e.head == 0) {
    e = Entry{hash, slot, slot};
    ++used_;
    return;
  }
  next_[static_cast<std::size_t>(e.tail)] = slot;
  e.tail = slot;
}

int32_t PatientNameIndex::First(const std::vector<pac_rec>& slots, std::string_view fiol,
                                std::string_view npol) const {
  if (entries_.empty()) return 0;
  return entries_[Position(HashNameAndPolicy(fiol, npol), slots, fiol, npol)].head;
}

}  // namespace vorel
