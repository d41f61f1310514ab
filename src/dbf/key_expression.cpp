#include "dbf/key_expression.h"

#include <cctype>
#include <cstdio>
#include <functional>
#include <vector>

#include "dbf/dbf_errors.h"
#include "dbf/field_encode.h"
#include "platform/calendar.h"
#include "platform/code_page.h"

namespace vorel::dbf {

namespace {

using Eval = std::function<KeyValue(std::string_view record)>;

struct Unsupported {};

KeyValue Text(std::string s) {
  KeyValue v;
  v.type = KeyValue::Type::kCharacter;
  v.text = std::move(s);
  return v;
}

KeyValue FieldValue(const Field& f, std::string_view r) {
  KeyValue v;
  v.null = IsNull(f, r);
  switch (f.type) {
    case FieldType::kCharacter:
    case FieldType::kVarchar:
    case FieldType::kVarbinary:
      v.type = KeyValue::Type::kCharacter;
      v.text = std::string(DecodeText(f, r));
      v.text.resize(f.length, ' ');  // keys of V fields are padded to the field width
      break;
    case FieldType::kNumeric:
    case FieldType::kFloat:
    case FieldType::kDouble:
      v.type = KeyValue::Type::kNumber;
      v.number = DecodeNumber(f, r);
      break;
    case FieldType::kInteger:
      v.type = KeyValue::Type::kInteger;
      v.integer = DecodeInteger(f, r);
      break;
    case FieldType::kCurrency:
      v.type = KeyValue::Type::kCurrency;
      v.integer = DecodeCurrency(f, r);
      break;
    case FieldType::kDate:
      v.type = KeyValue::Type::kDate;
      v.date = DecodeDate(f, r);
      break;
    case FieldType::kDateTime:
      v.type = KeyValue::Type::kDateTime;
      v.dateTime = DecodeDateTime(f, r);
      break;
    case FieldType::kLogical:
      v.type = KeyValue::Type::kLogical;
      v.logical = DecodeLogical(f, r).value_or(false);
      break;
    default:
      throw Unsupported{};
  }
  return v;
}

double AsNumber(const KeyValue& v) {
  switch (v.type) {
    case KeyValue::Type::kNumber:
      return v.number;
    case KeyValue::Type::kInteger:
      return static_cast<double>(v.integer);
    case KeyValue::Type::kCurrency:
      return static_cast<double>(v.integer) / 10000.0;
    default:
      throw FieldValueError("Data type mismatch in an index expression");
  }
}

std::string Dtos(const KeyValue& v) {
  std::optional<int64_t> day = v.type == KeyValue::Type::kDate ? v.date
                               : v.type == KeyValue::Type::kDateTime && v.dateTime
                                   ? std::optional(v.dateTime->julianDay)
                                   : std::nullopt;
  if (v.type != KeyValue::Type::kDate && v.type != KeyValue::Type::kDateTime)
    throw FieldValueError("Data type mismatch in an index expression");
  if (!day) return std::string(8, ' ');
  const CivilDate c = CivilFromJulianDay(*day);
  char buf[9];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
  return buf;
}

// STR(n, length, decimals): right-aligned in `length`, asterisks when it does not fit.
std::string Str(double n, int length, int decimals) {
  if (length < 1 || length > 255) length = 10;
  Field f;
  f.name = "STR";
  f.type = FieldType::kNumeric;
  f.offset = 1;
  f.length = static_cast<uint8_t>(length);
  f.decimals = static_cast<uint8_t>(decimals < 0 || decimals + 1 >= length ? 0 : decimals);
  std::string record(static_cast<size_t>(length) + 1, ' ');
  try {
    EncodeNumber(f, n, record);
  } catch (const NumericOverflowError&) {
    return std::string(static_cast<size_t>(length), '*');
  }
  return record.substr(1);
}

class Parser {
 public:
  Parser(const TableLayout& layout, std::string_view text) : layout_(layout), s_(text) {}

  Eval Parse() {
    Eval e = Or();
    Skip();
    if (pos_ != s_.size()) throw Unsupported{};
    if (nullable_.empty()) return e;
    // .AND./.OR. can decide despite a .NULL. side, so the blanket NULL rule below would be wrong for them.
    if (combinesLogicals_) throw Unsupported{};
    // Every function and operator the expressions here may use gives .NULL. when an operand is .NULL.
    return [e, fields = nullable_](std::string_view r) {
      KeyValue v = e(r);
      for (const Field& f : fields) v.null = v.null || IsNull(f, r);
      return v;
    };
  }

 private:
  void Skip() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool Eat(char c) {
    Skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  std::string Word() {
    Skip();
    size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
      ++pos_;
    std::string w(s_.substr(start, pos_ - start));
    for (char& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return w;
  }

  // Case-insensitive keyword such as ".AND." at the current position.
  bool EatKeyword(std::string_view word) {
    Skip();
    if (s_.size() - pos_ < word.size()) return false;
    if (ToUpperAnsi(std::string(s_.substr(pos_, word.size()))) != word) return false;
    pos_ += word.size();
    return true;
  }

  // FOR clauses: .OR. below .AND. below .NOT. below comparisons, as xBase ranks them.
  Eval Or() {
    Eval left = And();
    while (EatKeyword(".OR.")) {
      combinesLogicals_ = true;
      left = Logic(left, And(), false);
    }
    return left;
  }
  Eval And() {
    Eval left = NotTerm();
    while (EatKeyword(".AND.")) {
      combinesLogicals_ = true;
      left = Logic(left, NotTerm(), true);
    }
    return left;
  }
  Eval NotTerm() {
    Skip();
    if (EatKeyword(".NOT.")) return Not(NotTerm());
    if (pos_ < s_.size() && s_[pos_] == '!' && (pos_ + 1 >= s_.size() || s_[pos_ + 1] != '=')) {
      ++pos_;
      return Not(NotTerm());
    }
    return Comparison();
  }

  enum class Op { kEq, kNe, kLt, kLe, kGt, kGe };

  Eval Comparison() {
    Eval left = Sum();
    Skip();
    static constexpr std::pair<std::string_view, Op> kOps[] = {
        {"==", Op::kEq}, {"<>", Op::kNe}, {"!=", Op::kNe}, {"<=", Op::kLe}, {">=", Op::kGe},
        {"=", Op::kEq},  {"#", Op::kNe},  {"<", Op::kLt},  {">", Op::kGt}};
    for (const auto& [text, op] : kOps) {
      if (s_.substr(pos_, text.size()) == text) {
        pos_ += text.size();
        return Compare(left, Sum(), op);
      }
    }
    return left;
  }

  // Numbers, dates and logicals compare by value. Text comparisons are left out: their result depends on
  // SET EXACT and the collation of the program that writes the table, which the service cannot know, and a
  // wrong guess would put records into the tag that the reception desk program leaves out.
  static Eval Compare(Eval left, Eval right, Op op) {
    return [left, right, op](std::string_view r) {
      const KeyValue a = left(r), b = right(r);
      int order = 0;
      auto numeric = [](const KeyValue& v) {
        return v.type == KeyValue::Type::kNumber || v.type == KeyValue::Type::kInteger ||
               v.type == KeyValue::Type::kCurrency;
      };
      if (numeric(a) && numeric(b)) {
        const double x = AsNumber(a), y = AsNumber(b);
        order = x < y ? -1 : x > y ? 1 : 0;
      } else if (a.type == KeyValue::Type::kDate && b.type == KeyValue::Type::kDate) {
        const int64_t x = a.date.value_or(0), y = b.date.value_or(0);  // a blank date sorts first
        order = x < y ? -1 : x > y ? 1 : 0;
      } else if (a.type == KeyValue::Type::kLogical && b.type == KeyValue::Type::kLogical) {
        order = static_cast<int>(a.logical) - static_cast<int>(b.logical);
      } else {
        throw FieldValueError("Data type mismatch in an index expression");
      }
      KeyValue v;
      v.type = KeyValue::Type::kLogical;
      v.null = a.null || b.null;
      switch (op) {
        case Op::kEq:
          v.logical = order == 0;
          break;
        case Op::kNe:
          v.logical = order != 0;
          break;
        case Op::kLt:
          v.logical = order < 0;
          break;
        case Op::kLe:
          v.logical = order <= 0;
          break;
        case Op::kGt:
          v.logical = order > 0;
          break;
        case Op::kGe:
          v.logical = order >= 0;
          break;
      }
      if (v.null) v.logical = false;
      return v;
    };
  }

  // Three-valued .AND./.OR.: a decided side wins over .NULL. (.F. .AND. .NULL. is .F.).
  static Eval Logic(Eval left, Eval right, bool isAnd) {
    return [left, right, isAnd](std::string_view r) {
      const KeyValue a = left(r), b = right(r);
      if (a.type != KeyValue::Type::kLogical || b.type != KeyValue::Type::kLogical)
        throw FieldValueError("Data type mismatch in an index expression");
      KeyValue v;
      v.type = KeyValue::Type::kLogical;
      const bool decider = !isAnd;  // .F. decides .AND., .T. decides .OR.
      if ((!a.null && a.logical == decider) || (!b.null && b.logical == decider)) {
        v.logical = decider;
      } else if (a.null || b.null) {
        v.null = true;
      } else {
        v.logical = !decider;
      }
      return v;
    };
  }

  Eval Sum() {
    Eval left = Unary();
    while (Eat('+')) {
      Eval right = Unary();
      left = [left, right](std::string_view r) {
        KeyValue a = left(r), b = right(r);
        if (a.type == KeyValue::Type::kCharacter && b.type == KeyValue::Type::kCharacter)
          return Text(a.text + b.text);
        KeyValue n;
        n.type = KeyValue::Type::kNumber;
        n.number = AsNumber(a) + AsNumber(b);
        return n;
      };
    }
    return left;
  }

  Eval Unary() {
    Skip();
    if (s_.substr(pos_).size() >= 5 && ToUpperAnsi(std::string(s_.substr(pos_, 5))) == ".NOT.") {
      pos_ += 5;
      return Not(Unary());
    }
    if (Eat('!')) return Not(Unary());
    return Primary();
  }

  static Eval Not(Eval inner) {
    return [inner](std::string_view r) {
      KeyValue v = inner(r);
      if (v.type != KeyValue::Type::kLogical)
        throw FieldValueError("Data type mismatch in an index expression");
      v.logical = !v.logical;
      return v;
    };
  }

  std::vector<Eval> Arguments() {
    std::vector<Eval> args;
    if (Eat(')')) return args;
    do args.push_back(Sum());
    while (Eat(','));
    if (!Eat(')')) throw Unsupported{};
    return args;
  }

  int ConstantInt(const Eval& e) {
    KeyValue v = e("");  // constants do not look at the record
    return static_cast<int>(AsNumber(v));
  }

  Eval Primary() {
    Skip();
    if (pos_ >= s_.size()) throw Unsupported{};
    const char c = s_[pos_];
    if (c == '\'' || c == '"') {
      const size_t end = s_.find(c, pos_ + 1);
      if (end == std::string_view::npos) throw Unsupported{};
      std::string literal(s_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
      return [literal](std::string_view) { return Text(literal); };
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = pos_;
      while (pos_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.'))
        ++pos_;
      const double n = std::stod(std::string(s_.substr(start, pos_ - start)));
      return [n](std::string_view) {
        KeyValue v;
        v.type = KeyValue::Type::kNumber;
        v.number = n;
        return v;
      };
    }
    if (Eat('(')) {
      Eval inner = Or();
      if (!Eat(')')) throw Unsupported{};
      return inner;
    }
    for (const bool value : {true, false}) {
      if (EatKeyword(value ? ".T." : ".F.")) {
        return [value](std::string_view) {
          KeyValue v;
          v.type = KeyValue::Type::kLogical;
          v.logical = value;
          return v;
        };
      }
    }
    std::string name = Word();
    if (name.empty()) throw Unsupported{};
    if (Eat('.')) name = Word();  // alias.field
    if (!Eat('(')) {
      const Field* f = layout_.FindField(name);
      // Tables of a database container keep long field names there; the table holds their first 10 letters.
      if (!f && name.size() > 10) f = layout_.FindField(name.substr(0, 10));
      if (!f) throw Unsupported{};
      const Field field = *f;
      (void)FieldValue(field, std::string(layout_.recordLength, ' '));  // type supported?
      if (field.nullable()) nullable_.push_back(field);
      return [field](std::string_view r) { return FieldValue(field, r); };
    }
    std::vector<Eval> a = Arguments();
    auto text = [](const Eval& e) {
      return [e](std::string_view r) {
        KeyValue v = e(r);
        if (v.type != KeyValue::Type::kCharacter)
          throw FieldValueError("Data type mismatch in an index expression");
        return v.text;
      };
    };
    if ((name == "UPPER" || name == "LOWER") && a.size() == 1) {
      auto t = text(a[0]);
      const bool upper = name == "UPPER";
      return [t, upper](std::string_view r) { return Text(upper ? ToUpperAnsi(t(r)) : ToLowerAnsi(t(r))); };
    }
    if ((name == "ALLTRIM" || name == "TRIM" || name == "RTRIM" || name == "LTRIM" || name == "ALLT") &&
        a.size() == 1) {
      auto t = text(a[0]);
      const bool left = name != "TRIM" && name != "RTRIM", right = name != "LTRIM";
      return [t, left, right](std::string_view r) {
        std::string s = t(r);
        size_t b = 0, e = s.size();
        if (left)
          while (b < e && s[b] == ' ') ++b;
        if (right)
          while (e > b && s[e - 1] == ' ') --e;
        return Text(s.substr(b, e - b));
      };
    }
    if (name == "STR" && !a.empty() && a.size() <= 3) {
      const int length = a.size() > 1 ? ConstantInt(a[1]) : 10;
      const int decimals = a.size() > 2 ? ConstantInt(a[2]) : 0;
      Eval n = a[0];
      return
          [n, length, decimals](std::string_view r) { return Text(Str(AsNumber(n(r)), length, decimals)); };
    }
    if ((name == "DTOS" && a.size() == 1) || (name == "DTOC" && a.size() == 2 && ConstantInt(a[1]) == 1)) {
      Eval d = a[0];
      return [d](std::string_view r) { return Text(Dtos(d(r))); };
    }
    if ((name == "SUBSTR" && (a.size() == 2 || a.size() == 3)) || (name == "LEFT" && a.size() == 2)) {
      auto t = text(a[0]);
      const int start = name == "LEFT" ? 1 : ConstantInt(a[1]);
      const int length = name == "LEFT" ? ConstantInt(a[1]) : a.size() == 3 ? ConstantInt(a[2]) : 1 << 20;
      return [t, start, length](std::string_view r) {
        std::string s = t(r);
        if (start < 1 || static_cast<size_t>(start) > s.size() || length <= 0) return Text("");
        return Text(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length)));
      };
    }
    if (name == "DELETED" && a.empty()) {
      return [](std::string_view r) {
        KeyValue v;
        v.type = KeyValue::Type::kLogical;
        v.logical = !r.empty() && r[0] == kRecordDeleted;
        return v;
      };
    }
    throw Unsupported{};
  }

  const TableLayout& layout_;
  std::string_view s_;
  size_t pos_ = 0;
  std::vector<Field> nullable_;  // nullable fields the expression names
  bool combinesLogicals_ = false;
};

class BasicKeyExpression final : public KeyExpression {
 public:
  explicit BasicKeyExpression(Eval eval) : eval_(std::move(eval)) {}
  KeyValue Evaluate(std::string_view record) const override { return eval_(record); }

 private:
  Eval eval_;
};

}  // namespace

std::unique_ptr<KeyExpression> BasicKeyExpressionCompiler::Compile(const TableLayout& layout,
                                                                   std::string_view text) const {
  try {
    Eval e = Parser(layout, text).Parse();
    // Evaluating a blank record shows type errors now rather than on the first write.
    std::string blank(layout.recordLength, ' ');
    for (const Field& f : layout.allFields) EncodeBlank(f, blank);
    e(blank);
    return std::make_unique<BasicKeyExpression>(std::move(e));
  } catch (const Unsupported&) {
    return nullptr;
  } catch (const Error&) {
    return nullptr;
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace vorel::dbf
