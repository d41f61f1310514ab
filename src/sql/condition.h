#pragma once

#include <cstdint>
#include <string>
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

  // True when the record is selected (.NULL. and .F. are not).
  bool Selected(const RowContext& row) const;

 private:
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
  };

  uint32_t Add(Expr& e);
  Tri Eval(uint32_t index, const RowContext& row) const;
  Tri Leaf(const Node& n, const RowContext& row) const;
  void MergeDateRanges(std::vector<uint32_t>& kids);
  Tri General(const Expr& expr, const RowContext& row) const;

  std::vector<Node> nodes_;
  std::vector<uint32_t> children_;
  const EvalEnv* env_ = nullptr;
  uint32_t root_ = 0;
  bool always_ = true;
};

}  // namespace vorel::sql
