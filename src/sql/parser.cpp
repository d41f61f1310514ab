#include "sql/parser.h"

#include <cmath>

#include "sql/lexer.h"
#include "sql/sql_errors.h"

namespace vorel::sql {
namespace {

constexpr int kMaxDepth = 200;
// Operators chained on one level (a + b + c ...) nest to the left; binding and evaluation recurse along them.
constexpr int kMaxChain = 1000;
// Expression nodes of one statement: bounds the depth of every recursion over the tree.
constexpr int kMaxNodes = 5000;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Words that end or divide a clause; they cannot stand for a column name or alias.
bool IsReserved(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "SELECT", "FROM",    "WHERE", "GROUP", "ORDER", "HAVING", "BY",   "AS",  "AND",  "OR",      "NOT",
      "LIKE",   "BETWEEN", "IN",    "IS",    "SET",   "VALUES", "INTO", "ASC", "DESC", "DISTINCT"};
  for (std::string_view w : kWords) {
    if (EqualsNoCase(w, word)) return true;
  }
  return false;
}

std::string Describe(const Token& t) {
  if (t.kind == TokenKind::kEnd) return "end of statement";
  if (t.kind == TokenKind::kString) return "text literal";
  return "'" + std::string(t.text) + "'";
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text), tokens_(Tokenize(text)) {}

  Statement Parse() {
    Statement result;
    if (IsKeyword("SELECT")) {
      result = ParseSelect();
    } else if (IsKeyword("UPDATE")) {
      result = ParseUpdate();
    } else if (IsKeyword("INSERT")) {
      result = ParseInsert();
    } else if (IsKeyword("DELETE")) {
      result = ParseDelete();
    } else if (IsKeyword("CREATE")) {
      result = ParseCreate();
    } else if (IsKeyword("INDEX")) {
      result = ParseIndex();
    } else {
      Fail("expected SELECT, UPDATE, INSERT, DELETE, CREATE or INDEX");
    }
    if (IsOperator(";")) ++pos_;
    if (Peek().kind != TokenKind::kEnd) Fail("unexpected " + Describe(Peek()));
    return result;
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < tokens_.size() ? tokens_[i] : tokens_.back();
  }
  const Token& Take() {
    const Token& t = Peek();
    if (pos_ < tokens_.size() - 1) ++pos_;
    return t;
  }
  [[noreturn]] void Fail(const std::string& what) const { throw SyntaxError(Peek().position, what); }

  bool IsKeyword(std::string_view word, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::kIdentifier && EqualsNoCase(t.text, word);
  }
  bool IsOperator(std::string_view op) const {
    const Token& t = Peek();
    return t.kind == TokenKind::kOperator && EqualsNoCase(t.text, op);
  }
  bool AcceptKeyword(std::string_view word) {
    if (!IsKeyword(word)) return false;
    ++pos_;
    return true;
  }
  bool AcceptOperator(std::string_view op) {
    if (!IsOperator(op)) return false;
    ++pos_;
    return true;
  }
  void ExpectKeyword(std::string_view word) {
    if (!AcceptKeyword(word)) Fail("expected " + std::string(word) + ", found " + Describe(Peek()));
  }
  void ExpectOperator(std::string_view op) {
    if (!AcceptOperator(op)) Fail("expected '" + std::string(op) + "', found " + Describe(Peek()));
  }
  std::string ExpectName(std::string_view what, size_t* position = nullptr) {
    const Token& t = Peek();
    if (t.kind != TokenKind::kIdentifier || IsReserved(t.text))
      Fail("expected " + std::string(what) + ", found " + Describe(t));
    if (position) *position = t.position;
    ++pos_;
    return std::string(t.text);
  }

  // --- statements ---

  SelectStatement ParseSelect() {
    SelectStatement s;
    ExpectKeyword("SELECT");
    if (AcceptKeyword("DISTINCT")) {
      s.distinct = true;
    } else {
      AcceptKeyword("ALL");
    }
    do {
      SelectItem item;
      size_t start = Peek().position;
      if (IsOperator("*")) {
        ++pos_;
      } else {
        item.expr = ParseExpression();
        if (AcceptKeyword("AS")) {
          item.alias = ExpectName("a column alias");
        } else if (Peek().kind == TokenKind::kIdentifier && !IsReserved(Peek().text)) {
          item.alias = ExpectName("a column alias");
        }
      }
      size_t end = Peek().position;
      item.sourceText = std::string(text_.substr(start - 1, end - start));
      s.items.push_back(std::move(item));
    } while (AcceptOperator(","));
    ExpectKeyword("FROM");
    s.table = ExpectName("a table name", &s.tablePosition);
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    if (AcceptKeyword("GROUP")) {
      ExpectKeyword("BY");
      do {
        s.groupBy.push_back(ParseExpression());
      } while (AcceptOperator(","));
    }
    if (AcceptKeyword("HAVING")) s.having = ParseExpression();
    if (AcceptKeyword("ORDER")) {
      ExpectKeyword("BY");
      do {
        OrderItem item;
        item.expr = ParseExpression();
        if (AcceptKeyword("DESC")) {
          item.descending = true;
        } else {
          AcceptKeyword("ASC");
        }
        s.orderBy.push_back(std::move(item));
      } while (AcceptOperator(","));
    }
    return s;
  }

  UpdateStatement ParseUpdate() {
    UpdateStatement s;
    ExpectKeyword("UPDATE");
    s.table = ExpectName("a table name", &s.tablePosition);
    ExpectKeyword("SET");
    do {
      Assignment a;
      a.column = ExpectName("a column name", &a.position);
      ExpectOperator("=");
      a.value = ParseExpression();
      s.assignments.push_back(std::move(a));
    } while (AcceptOperator(","));
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    return s;
  }

  InsertStatement ParseInsert() {
    InsertStatement s;
    ExpectKeyword("INSERT");
    ExpectKeyword("INTO");
    s.table = ExpectName("a table name", &s.tablePosition);
    if (AcceptOperator("(")) {
      do {
        size_t position = 0;
        s.columns.push_back(ExpectName("a column name", &position));
        s.columnPositions.push_back(position);
      } while (AcceptOperator(","));
      ExpectOperator(")");
    }
    ExpectKeyword("VALUES");
    ExpectOperator("(");
    do {
      s.values.push_back(ParseExpression());
    } while (AcceptOperator(","));
    ExpectOperator(")");
    return s;
  }

  DeleteStatement ParseDelete() {
    DeleteStatement s;
    ExpectKeyword("DELETE");
    ExpectKeyword("FROM");
    s.table = ExpectName("a table name", &s.tablePosition);
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    return s;
  }

  IndexStatement ParseIndex() {
    IndexStatement s;
    ExpectKeyword("INDEX");
    ExpectKeyword("ON");
    s.keyExpression = ExpressionText();
    ExpectKeyword("TAG");
    s.tag = ExpectName("a tag name");
    ExpectKeyword("OF");
    s.table = ExpectName("a table name", &s.tablePosition);
    if (AcceptKeyword("FOR")) s.forExpression = ExpressionText();
    while (true) {
      if (AcceptKeyword("CANDIDATE")) {
        s.candidate = true;
      } else if (AcceptKeyword("DESCENDING")) {
        s.descending = true;
      } else if (!AcceptKeyword("ASCENDING")) {
        break;
      }
    }
    return s;
  }

  // The text of the expression that starts here, after checking its syntax; the index binds it itself.
  std::string ExpressionText() {
    const size_t start = Peek().position;
    ParseExpression();
    const size_t end = Peek().position;
    std::string_view text = text_.substr(start - 1, end - start);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
  }

  int ExpectSize(std::string_view what) {
    const Token& t = Peek();
    if (t.kind != TokenKind::kNumber || t.decimals != 0 || t.number < 0 || t.number > 65535)
      Fail("expected " + std::string(what) + ", found " + Describe(t));
    ++pos_;
    return static_cast<int>(t.number);
  }

  CreateTableStatement ParseCreate() {
    CreateTableStatement s;
    ExpectKeyword("CREATE");
    ExpectKeyword("TABLE");
    s.table = ExpectName("a table name", &s.tablePosition);
    AcceptKeyword("FREE");
    ExpectOperator("(");
    do {
      ColumnDefinition c;
      c.name = ExpectName("a column name", &c.position);
      size_t typePosition = Peek().position;
      std::string type = ExpectName("a column type");
      struct TypeName {
        std::string_view name;
        dbf::FieldType type;
        int sizes;  // 0: fixed, 1: (w), 2: (w[,d])
      };
      static constexpr TypeName kTypes[] = {
          {"C", dbf::FieldType::kCharacter, 1},
          {"CHAR", dbf::FieldType::kCharacter, 1},
          {"CHARACTER", dbf::FieldType::kCharacter, 1},
          {"V", dbf::FieldType::kVarchar, 1},
          {"VARCHAR", dbf::FieldType::kVarchar, 1},
          {"Q", dbf::FieldType::kVarbinary, 1},
          {"VARBINARY", dbf::FieldType::kVarbinary, 1},
          {"N", dbf::FieldType::kNumeric, 2},
          {"NUMERIC", dbf::FieldType::kNumeric, 2},
          {"F", dbf::FieldType::kFloat, 2},
          {"FLOAT", dbf::FieldType::kFloat, 2},
          {"I", dbf::FieldType::kInteger, 0},
          {"INT", dbf::FieldType::kInteger, 0},
          {"INTEGER", dbf::FieldType::kInteger, 0},
          {"B", dbf::FieldType::kDouble, 0},
          {"DOUBLE", dbf::FieldType::kDouble, 0},
          {"Y", dbf::FieldType::kCurrency, 0},
          {"CURRENCY", dbf::FieldType::kCurrency, 0},
          {"D", dbf::FieldType::kDate, 0},
          {"DATE", dbf::FieldType::kDate, 0},
          {"T", dbf::FieldType::kDateTime, 0},
          {"DATETIME", dbf::FieldType::kDateTime, 0},
          {"L", dbf::FieldType::kLogical, 0},
          {"LOGICAL", dbf::FieldType::kLogical, 0},
          {"M", dbf::FieldType::kMemo, 0},
          {"MEMO", dbf::FieldType::kMemo, 0},
          {"G", dbf::FieldType::kGeneral, 0},
          {"GENERAL", dbf::FieldType::kGeneral, 0},
          {"W", dbf::FieldType::kBlob, 0},
          {"BLOB", dbf::FieldType::kBlob, 0},
      };
      const TypeName* found = nullptr;
      for (const TypeName& tn : kTypes) {
        if (EqualsNoCase(tn.name, type)) found = &tn;
      }
      if (!found) throw SyntaxError(typePosition, "unknown column type '" + type + "'");
      c.type = found->type;
      if (found->sizes > 0) {
        ExpectOperator("(");
        c.width = ExpectSize("a column width");
        if (found->sizes == 2 && AcceptOperator(",")) c.decimals = ExpectSize("a number of decimals");
        ExpectOperator(")");
      } else if (IsOperator("(")) {
        // B(d) gives decimals for display only; accepted and ignored like VFP's own width of fixed types.
        ++pos_;
        ExpectSize("a size");
        ExpectOperator(")");
      }
      if (AcceptKeyword("NULL")) {
        c.nullable = true;
      } else if (AcceptKeyword("NOT")) {
        ExpectKeyword("NULL");
      }
      s.columns.push_back(std::move(c));
    } while (AcceptOperator(","));
    ExpectOperator(")");
    return s;
  }

  // --- expressions ---

  struct DepthGuard {
    Parser& p;
    explicit DepthGuard(Parser& parser) : p(parser) {
      if (++p.depth_ > kMaxDepth) p.Fail("expression nested too deeply");
    }
    ~DepthGuard() { --p.depth_; }
  };

  ExprPtr Node(ExprKind kind, size_t position, Op op = Op::kNone) {
    if (++nodes_ > kMaxNodes) Fail("statement too long");
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->position = position;
    e->op = op;
    return e;
  }
  ExprPtr Binary(Op op, size_t position, ExprPtr left, ExprPtr right) {
    auto e = Node(ExprKind::kBinary, position, op);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
  }

  ExprPtr ParseExpression() {
    DepthGuard guard(*this);
    return ParseOr();
  }

  ExprPtr ParseOr() {
    ExprPtr left = ParseAnd();
    for (int chain = 0; IsKeyword("OR") || IsOperator(".OR."); ++chain) {
      if (chain >= kMaxChain) Fail("expression too long");
      size_t position = Take().position;
      left = Binary(Op::kOr, position, std::move(left), ParseAnd());
    }
    return left;
  }

  ExprPtr ParseAnd() {
    ExprPtr left = ParseNot();
    for (int chain = 0; IsKeyword("AND") || IsOperator(".AND."); ++chain) {
      if (chain >= kMaxChain) Fail("expression too long");
      size_t position = Take().position;
      left = Binary(Op::kAnd, position, std::move(left), ParseNot());
    }
    return left;
  }

  ExprPtr ParseNot() {
    if (IsKeyword("NOT") || IsOperator(".NOT.") || IsOperator("!")) {
      DepthGuard guard(*this);
      size_t position = Take().position;
      auto e = Node(ExprKind::kUnary, position, Op::kNot);
      e->args.push_back(ParseNot());
      return e;
    }
    return ParseComparison();
  }

  ExprPtr ParseComparison() {
    ExprPtr left = ParseAdditive();
    struct CompareOp {
      std::string_view text;
      Op op;
    };
    static constexpr CompareOp kOps[] = {
        {"=", Op::kEq}, {"==", Op::kExactEq}, {"<>", Op::kNe}, {"!=", Op::kNe}, {"#", Op::kNe},
        {"<", Op::kLt}, {"<=", Op::kLe},      {">", Op::kGt},  {">=", Op::kGe}, {"$", Op::kContains}};
    const Token& t = Peek();
    if (t.kind == TokenKind::kOperator) {
      for (const CompareOp& c : kOps) {
        if (t.text == c.text) {
          size_t position = Take().position;
          return Binary(c.op, position, std::move(left), ParseAdditive());
        }
      }
    }
    bool negated = false;
    size_t position = t.position;
    if (IsKeyword("NOT") && (IsKeyword("LIKE", 1) || IsKeyword("IN", 1) || IsKeyword("BETWEEN", 1))) {
      negated = true;
      ++pos_;
    }
    if (AcceptKeyword("LIKE")) {
      auto e = Node(ExprKind::kLike, position);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      return e;
    }
    if (AcceptKeyword("BETWEEN")) {
      auto e = Node(ExprKind::kBetween, position);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      ExpectKeyword("AND");
      e->args.push_back(ParseAdditive());
      return e;
    }
    if (AcceptKeyword("IN")) {
      auto e = Node(ExprKind::kIn, position);
      e->negated = negated;
      e->args.push_back(std::move(left));
      ExpectOperator("(");
      do {
        e->args.push_back(ParseExpression());
      } while (AcceptOperator(","));
      ExpectOperator(")");
      return e;
    }
    if (AcceptKeyword("IS")) {
      auto e = Node(ExprKind::kIsNull, position);
      e->negated = AcceptKeyword("NOT");
      if (!AcceptKeyword("NULL") && !(Peek().kind == TokenKind::kNull && Take().position))
        Fail("expected NULL after IS");
      e->args.push_back(std::move(left));
      return e;
    }
    return left;
  }

  ExprPtr ParseAdditive() {
    ExprPtr left = ParseMultiplicative();
    for (int chain = 0; IsOperator("+") || IsOperator("-"); ++chain) {
      if (chain >= kMaxChain) Fail("expression too long");
      const Token& t = Take();
      left = Binary(t.text == "+" ? Op::kAdd : Op::kSub, t.position, std::move(left), ParseMultiplicative());
    }
    return left;
  }

  ExprPtr ParseMultiplicative() {
    ExprPtr left = ParsePower();
    for (int chain = 0; IsOperator("*") || IsOperator("/") || IsOperator("%"); ++chain) {
      if (chain >= kMaxChain) Fail("expression too long");
      const Token& t = Take();
      Op op = t.text == "*" ? Op::kMul : t.text == "/" ? Op::kDiv : Op::kMod;
      left = Binary(op, t.position, std::move(left), ParsePower());
    }
    return left;
  }

  ExprPtr ParsePower() {
    ExprPtr left = ParseUnary();
    for (int chain = 0; IsOperator("^") || IsOperator("**"); ++chain) {
      if (chain >= kMaxChain) Fail("expression too long");
      size_t position = Take().position;
      left = Binary(Op::kPow, position, std::move(left), ParseUnary());
    }
    return left;
  }

  ExprPtr ParseUnary() {
    if (IsOperator("-") || IsOperator("+")) {
      DepthGuard guard(*this);
      const Token& t = Take();
      ExprPtr operand = ParseUnary();
      if (t.text == "+") return operand;
      auto e = Node(ExprKind::kUnary, t.position, Op::kNeg);
      e->args.push_back(std::move(operand));
      return e;
    }
    return ParsePrimary();
  }

  ExprPtr Literal(const Token& t, Value v) {
    auto e = Node(ExprKind::kLiteral, t.position);
    e->literal = v;
    return e;
  }

  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kNumber: {
        ++pos_;
        auto e = Literal(t, Value::Number(t.number));
        e->literalDecimals = t.decimals;
        return e;
      }
      case TokenKind::kString: {
        ++pos_;
        auto e = Node(ExprKind::kLiteral, t.position);
        e->literalText = std::string(t.text);
        e->literal = Value::Text({});
        return e;
      }
      case TokenKind::kDate:
        ++pos_;
        return Literal(t, Value::Date(t.moment));
      case TokenKind::kDateTime:
        ++pos_;
        return Literal(t, Value::DateTime(t.moment));
      case TokenKind::kTrue:
        ++pos_;
        return Literal(t, Value::Logical(true));
      case TokenKind::kFalse:
        ++pos_;
        return Literal(t, Value::Logical(false));
      case TokenKind::kNull:
        ++pos_;
        return Literal(t, Value::Null());
      case TokenKind::kOperator:
        if (t.text == "(") {
          ++pos_;
          ExprPtr inner = ParseExpression();
          ExpectOperator(")");
          return inner;
        }
        Fail("unexpected " + Describe(t));
      case TokenKind::kIdentifier:
        break;
      case TokenKind::kEnd:
        Fail("unexpected end of statement");
    }
    if (EqualsNoCase(t.text, "NULL")) {
      ++pos_;
      return Literal(t, Value::Null());
    }
    const bool call = Peek(1).kind == TokenKind::kOperator && Peek(1).text == "(";
    if (IsReserved(t.text) && !call) Fail("unexpected " + Describe(t));
    ++pos_;
    if (!IsOperator("(")) {
      auto e = Node(ExprKind::kColumn, t.position);
      e->name = std::string(t.text);
      return e;
    }
    ++pos_;  // "("
    DepthGuard guard(*this);
    std::string_view name = t.text;
    auto e = Node(ExprKind::kFunction, t.position);
    e->name = std::string(name);
    if (IsAggregateName(name, "COUNT") && IsOperator("*")) {
      ++pos_;
      ExpectOperator(")");
      e->kind = ExprKind::kAggregate;
      e->aggregate = AggregateKind::kCount;
      e->countStar = true;
      return e;
    }
    bool distinct = false;
    if (IsKeyword("DISTINCT")) {
      ++pos_;
      distinct = true;
    }
    if (!IsOperator(")")) {
      do {
        e->args.push_back(ParseExpression());
      } while (AcceptOperator(","));
    }
    ExpectOperator(")");
    AggregateKind kind;
    bool aggregate = false;
    if (IsAggregateName(name, "COUNT")) {
      kind = AggregateKind::kCount, aggregate = true;
    } else if (IsAggregateName(name, "SUM")) {
      kind = AggregateKind::kSum, aggregate = true;
    } else if (IsAggregateName(name, "AVG") || IsAggregateName(name, "AVERAGE")) {
      kind = AggregateKind::kAvg, aggregate = true;
    } else if (e->args.size() == 1 && (EqualsNoCase(name, "MIN") || EqualsNoCase(name, "MAX"))) {
      kind = EqualsNoCase(name, "MIN") ? AggregateKind::kMin : AggregateKind::kMax, aggregate = true;
    }
    if (aggregate) {
      if (e->args.size() != 1)
        throw SyntaxError(t.position, "aggregate " + std::string(name) + " takes one argument");
      e->kind = ExprKind::kAggregate;
      e->aggregate = kind;
      e->distinct = distinct;
    } else if (distinct) {
      throw SyntaxError(t.position, "DISTINCT is allowed only in an aggregate");
    }
    return e;
  }

  // The aggregate's full name, or its cut form of four letters or more.
  static bool IsAggregateName(std::string_view written, std::string_view full) {
    if (written.size() > full.size()) return false;
    if (written.size() < full.size() && written.size() < 4) return false;
    return EqualsNoCase(written, full.substr(0, written.size()));
  }

  std::string_view text_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int depth_ = 0;
  int nodes_ = 0;
};

}  // namespace

Statement ParseStatement(std::string_view text) {
  return Parser(text).Parse();
}

}  // namespace vorel::sql
