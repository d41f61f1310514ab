#include "sql/column_reader.h"

namespace vorel::sql {

ColumnReader::ColumnReader(Expr& expr, const EvalEnv& env, uint32_t recordLength) : expr_(expr), env_(env) {
  if (expr.kind != ExprKind::kColumn || !expr.field) return;
  const dbf::Field& f = *expr.field;
  const bool numeric = f.type == dbf::FieldType::kNumeric || f.type == dbf::FieldType::kFloat;
  if (numeric || f.type == dbf::FieldType::kDate) checked_ = &f;
  if (!env.storedTests || f.nullable() || f.offset + f.length > recordLength) return;
  direct_.offset = f.offset;
  direct_.length = f.length;
  direct_.mask = f.length >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * f.length)) - 1;
  // Text stored in another code page is converted by the general read.
  if (f.type == dbf::FieldType::kCharacter && !(f.oemText && !f.binary())) {
    direct_.kind = Direct::kText;
  } else if (f.offset + sizeof(uint64_t) > recordLength) {
    return;  // the word read from the field's first byte must stay inside the record
  } else if (f.type == dbf::FieldType::kDate) {
    direct_.kind = Direct::kDate;
  } else if (numeric && f.decimals == 0 && f.length <= 8) {
    direct_.kind = Direct::kWholeNumber;
  }
}

bool ColumnReader::ReadOther(const RowContext& row, Value& out) const {
  out = Evaluate(expr_, row, env_);
  // A date that decoded to a day was readable: only an empty one may stand for unreadable digits.
  return checked_ && !(out.kind == ValueKind::kDate && out.moment != 0) &&
         dbf::HoldsUnreadableValue(*checked_, row.record);
}

}  // namespace vorel::sql
