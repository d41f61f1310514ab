#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sql/ast.h"
#include "sql/expression.h"

// A bound WHERE / HAVING condition prepared for testing many records: AND, OR and NOT over comparisons
// that read the record bytes directly where binding found a fast form, with three-valued logic and no
// allocation per record. Anything else is evaluated as an expression.
namespace vorel::sql {

class Condition {
 public:
  Condition() = default;
  // `expr` must be bound and must outlive the condition. A null `expr` selects every record.
  Condition(Expr* expr, const EvalEnv& env);

  // False when the record bytes alone show that the record cannot be selected (it is deleted, or fails the
  // date window that the condition needs); true means only "evaluate it".
  bool MayBeSelected(std::string_view record) const {
    return record[0] != dbf::kRecordDeleted && (!guard_.field || !guard_.Rejects(record));
  }

  // True when the record is selected (.NULL. and .F. are not).
  bool Selected(const RowContext& row) const {
    if (always_) return true;
    if (guard_.field && guard_.Rejects(row.record)) return false;
    return Eval(root_, row) == Tri::kTrue;
  }

 private:
  // A date test that the whole condition needs to hold (a date window AND-ed at the top, with only tests that
  // cannot fail before it), checked inline on the stored bytes first: most records of a scan fail it, and
  // then nothing else is looked at. Bytes that are neither digits nor blanks are left to the full evaluation.
  struct Guard {
    const dbf::Field* field = nullptr;  // a D field without a null flag
    uint64_t low = 0, high = 0;         // accepted stored bytes, big-endian, inclusive
    bool Rejects(std::string_view record) const {
      uint64_t v;
      std::memcpy(&v, record.data() + field->offset, sizeof v);
      constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull, kZeros = 0x3030303030303030ull;
      const bool digits = ((v & kHigh) == kZeros) & (((v + 0x0606060606060606ull) & kHigh) == kZeros);
      if (!digits && v != 0x2020202020202020ull) return false;
      const uint64_t key = __builtin_bswap64(v);
      return key < low || key > high;
    }
  };

  enum class Tri : int8_t { kFalse, kTrue, kUnknown };
  enum class Kind : uint8_t { kAnd, kOr, kNot, kGeneral, kDate, kDateRange, kNumber, kBlank, kContains };
  struct Node {
    Kind kind = Kind::kGeneral;
    Op op = Op::kNone;
    bool negated = false;
    const dbf::Field* field = nullptr;
    uint64_t date = 0;      // the constant date's yyyymmdd bytes, big-endian (compare as a number)
    uint64_t dateHigh = 0;  // kDateRange: date <= stored <= dateHigh
    double number = 0;
    std::string bytes;
    Expr* expr = nullptr;
    Expr* exprHigh = nullptr;  // kDateRange: the upper comparison
    uint32_t firstChild = 0;
    uint32_t childCount = 0;
    // kNumber on a numeric text of up to 16 bytes: the stored bytes last tested and their result, since a
    // column such as a patient id holds the same text in most records (0 for every free slot).
    uint64_t memoMask[2] = {0, 0};
    mutable uint64_t memoBytes[2] = {0, 0};
    mutable Tri memoResult = Tri::kUnknown;
    mutable bool memoValid = false;
  };

  uint32_t Add(Expr& e);
  Tri Eval(uint32_t index, const RowContext& row) const;
  Tri Leaf(const Node& n, const RowContext& row) const;
  void MergeDateRanges(std::vector<uint32_t>& kids);
  void ChooseGuard();
  Tri General(const Expr& expr, const RowContext& row) const;

  std::vector<Node> nodes_;
  std::vector<uint32_t> children_;
  Guard guard_;
  const EvalEnv* env_ = nullptr;
  uint32_t root_ = 0;
  bool always_ = true;
};

}  // namespace vorel::sql
