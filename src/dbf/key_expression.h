#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dbf/field_decode.h"
#include "dbf/table_layout.h"

// Index key and FOR expressions of CDX tags. The table file layer needs only their values per record; it
// does not know the SQL dialect. The SQL layer can supply a full evaluator through KeyExpressionCompiler;
// BasicKeyExpressionCompiler evaluates the common xBase forms itself.
namespace vorel::dbf {

struct KeyValue {
  enum class Type { kCharacter, kNumber, kInteger, kCurrency, kDate, kDateTime, kLogical };
  Type type = Type::kCharacter;
  bool null = false;
  std::string text;                       // kCharacter: Windows-1251 bytes
  double number = 0;                      // kNumber (N, F, B and numeric expressions)
  int64_t integer = 0;                    // kInteger (I) and kCurrency (value x 10000)
  std::optional<int64_t> date;            // kDate: Julian day, nullopt = blank
  std::optional<DateTimeValue> dateTime;  // kDateTime: nullopt = empty
  bool logical = false;                   // kLogical
};

class KeyExpression {
 public:
  virtual ~KeyExpression() = default;
  // The value for one record's bytes (byte 0 = deleted flag).
  virtual KeyValue Evaluate(std::string_view record) const = 0;
};

class KeyExpressionCompiler {
 public:
  virtual ~KeyExpressionCompiler() = default;
  // The expression bound to the table's fields, or nullptr when it cannot be evaluated.
  virtual std::unique_ptr<KeyExpression> Compile(const TableLayout& layout, std::string_view text) const = 0;
};

// Field names (optionally alias.field), string and number literals, + on texts, .NOT./! on logicals, and the
// functions UPPER, LOWER, ALLTRIM, TRIM, RTRIM, LTRIM, STR(n[,len[,dec]]), DTOS(d), DTOC(d,1), SUBSTR(s,start
// [,len]), LEFT(s,n), DELETED().
class BasicKeyExpressionCompiler final : public KeyExpressionCompiler {
 public:
  std::unique_ptr<KeyExpression> Compile(const TableLayout& layout, std::string_view text) const override;
};

}  // namespace vorel::dbf
