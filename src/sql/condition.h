#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sql/ast.h"
#include "sql/expression.h"
#include "sql/stored_form.h"

// A bound WHERE / HAVING condition prepared for testing many records: AND, OR and NOT over the predicates
// that binding gave a stored-byte form (stored_form.h), with three-valued logic and no allocation per record.
// Anything else is evaluated as an expression.
namespace vorel::sql {

class Condition {
 public:
  Condition() = default;
  // `expr` must be bound and must outlive the condition. A null `expr` selects every record.
  Condition(Expr* expr, const EvalEnv& env);

  // False when the record bytes alone show that the record cannot be selected (it is deleted, or fails the
  // test that the condition needs); true means only "evaluate it".
  __attribute__((always_inline)) bool MayBeSelected(std::string_view record) const {
    return record[0] != dbf::kRecordDeleted && !Rejects(record, 0);
  }
  // The same when the first guard is a word of bytes (most scans that find few records), which the
  // scanner's loop then tests with nothing else in its way.
  bool WordFirst() const { return guards_[0].kind == Guard::Kind::kWord; }
  bool MayBeSelectedWordFirst(std::string_view record) const {
    const Guard& g = guards_[0];
    uint64_t v;
    std::memcpy(&v, record.data() + g.offset, sizeof v);
    return (v & g.mask) == g.value && PassesOtherGuards(record);
  }

  // The same when the first guard is a date window without the empty date (the exports' windows): a key
  // outside the window rules a record out whether or not its bytes are a date, so that is checked only for
  // the few records inside it.
  bool DatesFirst() const {
    const Guard& g = guards_[0];
    return g.kind == Guard::Kind::kDates && !g.emptyAccepted && g.low <= g.high;
  }
  bool MayBeSelectedDatesFirst(std::string_view record) const {
    const Guard& g = guards_[0];
    uint64_t v;
    std::memcpy(&v, record.data() + g.offset, sizeof v);
    if (__builtin_bswap64(v) - g.low > g.high - g.low) return false;
    return dbf::decode_detail::JulianDayOfDigits(v) != 0 && PassesOtherGuards(record);
  }

  // True when the record is selected (.NULL. and .F. are not).
  bool Selected(const RowContext& row) const {
    if (always_) return true;
    if (Rejects(row.record, 0)) return false;
    return guarded_ || Eval(root_, row) == Tri::kTrue;
  }
  // The same for a record that MayBeSelected has let through: the guards are not tested again.
  bool SelectedAfterGuards(const RowContext& row) const {
    return always_ || guarded_ || Eval(root_, row) == Tri::kTrue;
  }

 private:
  static constexpr uint32_t kLongMemoBytes = 64;
  // Whether the `length` bytes at `a` and `b` are the same; inline, since a call costs more than the few
  // words of a field.
  static bool SameField(const char* a, const char* b, uint32_t length) {
    if (length < 8) return std::memcmp(a, b, length) == 0;
    uint64_t x, y;
    for (uint32_t i = 0; i + 8 < length; i += 8) {
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (x != y) return false;
    }
    std::memcpy(&x, a + length - 8, 8);
    std::memcpy(&y, b + length - 8, 8);
    return x == y;
  }

  // A test that the whole condition needs to hold (AND-ed at the top, with only tests that cannot fail before
  // it), made on the stored bytes inline in the scanner's loop: most records of a scan fail the first guard,
  // most of the rest the next one, and then nothing else is looked at.
  struct Guard {
    enum class Kind : uint8_t { kNone, kWord, kWhole, kNumbers, kTest, kDates, kEither };
    Kind kind = Kind::kNone;
    uint32_t offset = 0;
    uint64_t mask = 0, value = 0;  // kWord, kWhole: the bytes under `mask` must be `value`
    uint32_t headOffset = 0;       // kWhole: blanks under `headMask` there (StoredWord)
    uint64_t headMask = 0;
    // kWhole: the bytes last tested that differ from `value`, and whether they are RightAlignedDigits (at
    // first none, which at worst lets a record through to the test).
    mutable uint64_t lastBytes = 0;
    mutable bool lastRightAligned = false;
    uint64_t low = 0, high = 0;  // kDates: accepted date keys (stored_form.h), inclusive
    bool emptyAccepted = false;  // kDates: the empty date is in the range
    // kNumbers: the field's number must lie between the bounds (excluded where open).
    const dbf::Field* field = nullptr;
    double lowNumber = 0, highNumber = 0;
    bool lowOpen = false, highOpen = false;
    // kEither: alternatives_[first, first + count), one of which must pass.
    uint32_t first = 0, count = 0;

    // kTest: a test on one field's bytes, which must be true.
    const StoredTest* test = nullptr;
    // kTest, kDates: the test of node `node`, made exactly, which a record passing the guards meets.
    uint32_t node = 0;
    const EvalEnv* env = nullptr;
    // kNumbers, kTest on a field of up to 16 bytes: outcomes by the field's bytes, since a column holds few
    // distinct texts among the records a scan tests (a patient id 0 in every free slot, the day's times of
    // a schedule). The words end with the field and start with it.
    bool memo = false;
    uint32_t memoAt[2] = {0, 0};
    uint64_t memoMask[2] = {0, 0};
    struct Outcome {
      uint64_t bytes[2] = {0, 0};
      bool valid = false, rejects = false;
    };
    static constexpr unsigned kOutcomeBits = 6;
    mutable std::array<Outcome, size_t{1} << kOutcomeBits> outcomes{};
    mutable Outcome recent;  // the one found last
    // kTest on a field that the words cannot hold (longer than 16 bytes, or too early in the record): the
    // outcome for the field's bytes last tested, since its few texts come in runs (a free slot's empty name).
    uint32_t copyLength = 0;
    mutable bool copyValid = false, copyRejects = false;
    mutable std::array<char, kLongMemoBytes> copyBytes{};

    bool Outside(double n) const {
      return n < lowNumber || n > highNumber || (lowOpen && n == lowNumber) || (highOpen && n == highNumber);
    }
    // Inline in the scanner's loop; only a memo's miss makes the test itself, in a call.
    __attribute__((always_inline)) bool Rejects(std::string_view record) const {
      if (kind == Kind::kWord) {  // the most common guard, on the shortest path
        uint64_t v;
        std::memcpy(&v, record.data() + offset, sizeof v);
        return (v & mask) != value;
      }
      if (kind != Kind::kNumbers && kind != Kind::kTest) return OtherRejects(record);
      if (memo) {
        uint64_t a, b;
        std::memcpy(&a, record.data() + memoAt[0], sizeof a);
        std::memcpy(&b, record.data() + memoAt[1], sizeof b);
        a &= memoMask[0];
        b &= memoMask[1];
        // Most records repeat the text of the one before (a free slot's 0, a day's date).
        if (a == recent.bytes[0] && b == recent.bytes[1] && recent.valid) return recent.rejects;
        constexpr uint64_t kMix = 0x9E3779B97F4A7C15ull;
        // The field's bytes sit at either end of the words: both halves are folded in before mixing.
        const size_t at = ((a ^ (a >> 32) ^ (b * kMix) ^ (b >> 29)) * kMix) >> (64 - kOutcomeBits);
        const Outcome& o = outcomes[at];
        if (o.valid && a == o.bytes[0] && b == o.bytes[1]) return (recent = o).rejects;
        // Two texts of a column's few that fall on one place share it with the place beside it.
        const Outcome& p = outcomes[at ^ 1];
        if (p.valid && a == p.bytes[0] && b == p.bytes[1]) return (recent = p).rejects;
        return Learn(at, a, b, record);
      }
      if (copyLength == 0) return Decide(record);
      if (copyValid && offset + copyLength <= record.size() &&
          SameField(record.data() + offset, copyBytes.data(), copyLength))
        return copyRejects;
      return LearnCopy(record);
    }
    __attribute__((always_inline)) bool OtherRejects(std::string_view record) const {
      if (kind == Kind::kWhole && offset + sizeof(uint64_t) > record.size()) return false;
      uint64_t v;
      std::memcpy(&v, record.data() + offset, sizeof v);
      // Other texts of the wanted number are left to the test.
      if (kind == Kind::kWhole) {
        const uint64_t bytes = v & mask;
        if (bytes == value) return false;
        // A free slot's 0 stands in most records: the shape of its text is known from the last one.
        if (bytes != lastBytes) {
          lastBytes = bytes;
          lastRightAligned = RightAlignedDigits(v, mask);
        }
        return lastRightAligned && BlankHead(record);
      }
      // Anything but digits reads as the empty date, and so do digits that are no date: the guard decides
      // the test exactly.
      if (!dbf::decode_detail::AllDigits(v)) return !emptyAccepted;
      const uint64_t key = __builtin_bswap64(v);
      if (key >= low && key <= high) return dbf::decode_detail::JulianDayOfDigits(v) == 0 && !emptyAccepted;
      return !emptyAccepted || StoredDateKey(record.data() + offset) != kBlankDateKey;
    }
    bool Learn(size_t at, uint64_t a, uint64_t b, std::string_view record) const;
    bool LearnCopy(std::string_view record) const;
    bool BlankHead(std::string_view record) const {
      if (headMask == 0) return true;
      uint64_t h;
      std::memcpy(&h, record.data() + headOffset, sizeof h);
      return (h & headMask) == (0x2020202020202020ull & headMask);
    }
    bool Decide(std::string_view record) const {
      if (kind == Kind::kTest) return TestStored(*test, record, *env) != Tri::kTrue;
      return Outside(StoredNumber(*field, record));
    }
  };
  static constexpr size_t kMaxGuards = 6;
  // A live record that passes every guard after the first: a call, so that the loop over the records
  // that fail the first stays small.
  __attribute__((noinline)) bool PassesOtherGuards(std::string_view record) const {
    return record[0] != dbf::kRecordDeleted && !Rejects(record, 1);
  }
  __attribute__((always_inline)) bool Rejects(std::string_view record, size_t from) const {
    for (size_t i = from; i < kMaxGuards; ++i) {
      const Guard& g = guards_[i];
      if (g.kind == Guard::Kind::kNone) return false;
      if (g.kind == Guard::Kind::kEither ? EitherRejects(g, record) : g.Rejects(record)) return true;
    }
    return false;
  }
  __attribute__((always_inline)) bool EitherRejects(const Guard& g, std::string_view record) const {
    for (uint32_t i = 0; i < g.count; ++i) {
      if (!alternatives_[g.first + i].Rejects(record)) return false;
    }
    return true;
  }

  enum class Kind : uint8_t { kAnd, kOr, kNot, kGeneral, kDate, kDateRange, kStored };
  struct Node {
    Kind kind = Kind::kGeneral;
    Op op = Op::kNone;
    const dbf::Field* field = nullptr;  // kDate, kDateRange; kStored: the one field the test reads
    uint64_t date = 0;                  // kDate: the constant's key; kDateRange: date <= key <= dateHigh
    uint64_t dateHigh = 0;
    const StoredTest* test = nullptr;  // kStored
    Expr* expr = nullptr;
    uint32_t firstChild = 0;
    uint32_t childCount = 0;
    // A value test on a field of up to 16 bytes: the stored bytes last tested and their result, since a
    // column such as a patient id holds the same text in most records (0 for every free slot). A longer
    // field (a free slot's empty name) keeps a copy of its bytes instead.
    uint64_t memoMask[2] = {0, 0};
    mutable uint64_t memoBytes[2] = {0, 0};
    mutable Tri memoResult = Tri::kUnknown;
    mutable bool memoValid = false;
    uint32_t memoLength = 0;
    mutable std::array<char, kLongMemoBytes> memoText{};
    // A test that a guard makes exactly: true for every record the guards let through.
    bool settled = false;
  };

  uint32_t Add(Expr& e);
  Tri Eval(uint32_t index, const RowContext& row) const;
  Tri Leaf(const Node& n, const RowContext& row) const;
  Tri LongLeaf(const Node& n, const RowContext& row) const;
  void MergeDateRanges(std::vector<uint32_t>& kids);
  void ChooseGuards();
  bool CannotFail(uint32_t index) const;
  void AddGuards(uint32_t index, std::vector<Guard>& out);
  static bool NumberBounds(const StoredTest& t, Guard& g);
  static bool SetMemo(const dbf::Field& f, Guard& g);
  static bool SetCopy(const dbf::Field& f, Guard& g);
  static void Narrow(Guard& g, const Guard& other);
  Tri General(const Expr& expr, const RowContext& row) const;

  std::vector<Node> nodes_;
  std::vector<uint32_t> children_;
  std::array<Guard, kMaxGuards> guards_{};
  std::vector<Guard> alternatives_;
  const EvalEnv* env_ = nullptr;
  uint32_t root_ = 0;
  bool always_ = true;
  // Every test of the condition is made exactly by a guard: a record that passed them is selected.
  bool guarded_ = false;
};

}  // namespace vorel::sql
