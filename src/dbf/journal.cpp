#include "dbf/journal.h"

#include <algorithm>

#include "dbf/byte_order.h"
#include "platform/file_lookup.h"

namespace vorel::dbf {

namespace {

constexpr std::string_view kMagic = "VORELJNL";
constexpr uint32_t kVersion = 1;

uint64_t Checksum(std::string_view bytes) {
  uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

class Writer {
 public:
  void U8(uint8_t v) { out_ += static_cast<char>(v); }
  void U16(uint16_t v) { Fixed(v, 2); }
  void U32(uint32_t v) { Fixed(v, 4); }
  void U64(uint64_t v) { Fixed(v, 8); }
  void Bytes(std::string_view b) { out_ += b; }
  std::string& out() { return out_; }

 private:
  void Fixed(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool ok() const { return ok_; }
  bool done() const { return at_ == in_.size(); }
  uint8_t U8() { return static_cast<uint8_t>(Fixed(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Fixed(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Fixed(4)); }
  uint64_t U64() { return Fixed(8); }
  std::string Bytes(uint64_t n) {
    if (!Need(n)) return {};
    std::string b(in_.substr(at_, n));
    at_ += n;
    return b;
  }

 private:
  bool Need(uint64_t n) {
    ok_ = ok_ && n <= in_.size() - at_;
    return ok_;
  }
  uint64_t Fixed(int n) {
    if (!Need(static_cast<uint64_t>(n))) return 0;
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
      v |= static_cast<uint64_t>(static_cast<unsigned char>(in_[at_ + i])) << (8 * i);
    at_ += static_cast<size_t>(n);
    return v;
  }
  std::string_view in_;
  size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace

std::vector<uint32_t> RecordsTouched(const Journal& j) {
  std::vector<uint32_t> recnos;
  if (j.recordLength == 0) return recnos;
  for (const JournalRegion& r : j.regions) {
    const uint64_t end = r.offset + r.after.size();
    if (r.target != JournalTarget::kTable || end <= j.headerLength) continue;
    const uint64_t first = r.offset < j.headerLength ? 0 : (r.offset - j.headerLength) / j.recordLength;
    // The end-of-file mark after the last record is no record's.
    const uint64_t last = std::min<uint64_t>((end - 1 - j.headerLength) / j.recordLength,
                                             std::max(j.countBefore, j.countAfter) - uint64_t{1});
    for (uint64_t i = first; i <= last && i < 0xFFFFFFFFu; ++i)
      recnos.push_back(static_cast<uint32_t>(i + 1));
  }
  std::sort(recnos.begin(), recnos.end());
  recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
  return recnos;
}

bool HeaderTouched(const Journal& j) {
  return std::any_of(j.regions.begin(), j.regions.end(), [&](const JournalRegion& r) {
    return r.target == JournalTarget::kTable && r.offset < j.headerLength;
  });
}

std::string EncodeJournal(const Journal& j) {
  Writer w;
  w.Bytes(kMagic);
  w.U32(kVersion);
  w.U16(j.headerLength);
  w.U16(j.recordLength);
  w.U32(j.countBefore);
  w.U32(j.countAfter);
  w.U32(j.counterBefore);
  w.U32(j.counterAfter);
  for (const JournalFileSizes& f : j.files) {
    w.U8(f.touched ? 1 : 0);
    w.U64(f.before);
    w.U64(f.after);
  }
  w.U32(static_cast<uint32_t>(j.regions.size()));
  for (const JournalRegion& r : j.regions) {
    w.U8(static_cast<uint8_t>(r.target));
    w.U64(r.offset);
    w.U32(static_cast<uint32_t>(r.before.size()));
    w.U32(static_cast<uint32_t>(r.after.size()));
    w.Bytes(r.before);
    w.Bytes(r.after);
  }
  // The length and checksum last: a journal whose writing stopped part-way never reads as whole.
  w.U64(w.out().size() + 16);
  w.U64(Checksum(w.out()));
  return std::move(w.out());
}

std::optional<Journal> DecodeJournal(std::string_view bytes) {
  if (bytes.size() < kMagic.size() + 16 || bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  const std::string_view body = bytes.substr(0, bytes.size() - 8);
  if (LoadLe64(bytes.data() + bytes.size() - 16) != bytes.size() ||
      LoadLe64(bytes.data() + bytes.size() - 8) != Checksum(body))
    return std::nullopt;
  Reader r(body.substr(kMagic.size(), body.size() - kMagic.size() - 8));
  if (r.U32() != kVersion) return std::nullopt;
  Journal j;
  j.headerLength = r.U16();
  j.recordLength = r.U16();
  j.countBefore = r.U32();
  j.countAfter = r.U32();
  j.counterBefore = r.U32();
  j.counterAfter = r.U32();
  for (JournalFileSizes& f : j.files) {
    f.touched = r.U8() != 0;
    f.before = r.U64();
    f.after = r.U64();
  }
  const uint32_t count = r.U32();
  for (uint32_t i = 0; i < count && r.ok(); ++i) {
    JournalRegion region;
    const uint8_t target = r.U8();
    if (target >= kJournalTargets) return std::nullopt;
    region.target = static_cast<JournalTarget>(target);
    region.offset = r.U64();
    const uint32_t beforeLength = r.U32(), afterLength = r.U32();
    if (beforeLength > afterLength) return std::nullopt;
    region.before = r.Bytes(beforeLength);
    region.after = r.Bytes(afterLength);
    j.regions.push_back(std::move(region));
  }
  if (!r.ok() || !r.done()) return std::nullopt;
  return j;
}

std::filesystem::path JournalPathFor(const std::filesystem::path& tablePath) {
  return CompanionFilePath(tablePath, "jnl");
}

}  // namespace vorel::dbf
