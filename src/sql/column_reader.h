#pragma once

#include <cstdint>
#include <cstring>

#include "dbf/field_decode.h"
#include "sql/ast.h"
#include "sql/expression.h"

// One output column of a SELECT, read for each selected record of a scan together with whether its stored
// bytes are no value of their type (see ResultSet::MarkMalformed). A plain field in its common stored form
// (a character field's bytes, a whole number, a date's digits) is read from its bytes; anything else goes
// through the general evaluation, with the same value.
namespace vorel::sql {

class ColumnReader {
 public:
  // `expr` must be bound and outlive the reader; `recordLength` is that of the records it will read.
  ColumnReader(Expr& expr, const EvalEnv& env, uint32_t recordLength);

  // Sets `out` to the column's value in the row; true when its stored bytes are no value of their type.
  // Only the fields of `out` that its kind uses are set (the row's values are written in place, field by
  // field: a value built apart and copied whole costs more than the read itself). Throws what Evaluate
  // throws.
  bool Read(const RowContext& row, Value& out) const {
    const char* bytes = row.record.data() + direct_.offset;  // inside the record: checked at construction
    switch (direct_.kind) {
      case Direct::kText:
        out.kind = ValueKind::kText;
        out.text = std::string_view(bytes, direct_.length);
        return false;
      case Direct::kWholeNumber: {
        uint64_t v;
        std::memcpy(&v, bytes, sizeof v);
        if (!dbf::decode_detail::ParseShortWholeNumber(v, direct_.length, out.number)) break;
        out.kind = ValueKind::kNumber;
        return false;
      }
      case Direct::kDate: {
        uint64_t v;
        std::memcpy(&v, bytes, sizeof v);
        const int64_t day = dbf::decode_detail::JulianDayOfDigits(v);
        if (day == 0) break;
        out.kind = ValueKind::kDate;
        out.moment = day;
        return false;
      }
      case Direct::kNone:
        break;
    }
    return ReadOther(row, out);
  }

 private:
  struct Direct {
    enum Kind : uint8_t { kNone, kText, kWholeNumber, kDate } kind = kNone;
    uint32_t offset = 0, length = 0;
  };
  bool ReadOther(const RowContext& row, Value& out) const;

  Expr& expr_;
  const EvalEnv& env_;
  const dbf::Field* checked_ = nullptr;  // a plain N, F or D column, whose bytes may be no value
  Direct direct_;
};

}  // namespace vorel::sql
