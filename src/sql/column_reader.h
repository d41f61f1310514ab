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
        v &= direct_.mask;
        if (v != last_.bytes || !last_.valid) {
          if (!dbf::decode_detail::ParseShortWholeNumber(v, direct_.length, last_.number)) break;
          last_.bytes = v;
          last_.valid = true;
        }
        out.kind = ValueKind::kNumber;
        out.number = last_.number;
        return false;
      }
      case Direct::kDate: {
        uint64_t v;
        std::memcpy(&v, bytes, sizeof v);
        if (v != last_.bytes || !last_.valid) {
          const int64_t day = dbf::decode_detail::JulianDayOfDigits(v);
          if (day == 0) break;
          last_ = {v, 0, day, true};
        }
        out.kind = ValueKind::kDate;
        out.moment = last_.day;
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
    uint64_t mask = 0;  // kWholeNumber: the field's bytes in the word read
  };
  // The bytes last read in their common form, and their value: a column holds the same number or date in
  // runs of records (a day's slots, one doctor's).
  struct Last {
    uint64_t bytes = 0;
    double number = 0;
    int64_t day = 0;
    bool valid = false;
  };
  bool ReadOther(const RowContext& row, Value& out) const;

  Expr& expr_;
  const EvalEnv& env_;
  const dbf::Field* checked_ = nullptr;  // a plain N, F or D column, whose bytes may be no value
  Direct direct_;
  mutable Last last_;
};

}  // namespace vorel::sql
