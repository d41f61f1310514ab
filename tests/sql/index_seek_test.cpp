// Rows found through a structural index are exactly the rows a scan finds, in the same order: many conditions
// run both ways (seek forced, scan forced) under both collations and both SET ANSI settings, on a generated
// indexed table (deleted rows, NULLs, empty dates, Cyrillic and mixed-case text, descending, candidate, FOR
// and RUSSIAN tags, trees of several levels) and on VFP-written tables; UPDATE and DELETE leave the same
// files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "dbf/cdx_build.h"
#include "dbf/cdx_check.h"
#include "sql/index_plan.h"
#include "sql/parser.h"
#include "sql/sql_test_tables.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using sqltest::A;
using FT = dbf::FieldType;

// Rows of a result as text, one line each, in result order.
std::string Rows(const sql::ResultSet& rows) {
  std::string out;
  for (size_t r = 0; r < rows.rowCount(); ++r) {
    for (size_t c = 0; c < rows.columns().size(); ++c) {
      const sql::Value v = rows.Get(r, c);
      char buf[64];
      switch (v.kind) {
        case sql::ValueKind::kText:
          out.append(v.text);
          break;
        case sql::ValueKind::kNumber:
          std::snprintf(buf, sizeof buf, "%.4f", v.number);
          out += buf;
          break;
        case sql::ValueKind::kNull:
          out += ".NULL.";
          break;
        default:
          out += std::to_string(v.moment) + (v.logical ? "T" : "F");
          break;
      }
      out += '|';
    }
    out += '\n';
  }
  return out;
}

// The outcome of a statement as text: its rows, or the error it failed with.
std::string Outcome(const std::string& statement, const sql::ExecutionOptions& options) {
  try {
    const sql::StatementOutcome o = sql::RunStatement(statement, options);
    return o.hasRows ? Rows(o.rows) : "affected " + std::to_string(o.rowsAffected);
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

// Whether the condition is answered through the index (binding it as the statement would).
bool Seeks(const std::filesystem::path& folder, const std::string& table, const std::string& condition,
           const sql::ExecutionOptions& options) {
  sql::Statement st = sql::ParseStatement("SELECT * FROM " + table + " WHERE " + condition);
  auto& select = std::get<sql::SelectStatement>(st);
  dbf::Table t = dbf::Table::Open(folder, table);
  sql::EvalEnv env = sql::MakeEvalEnv(options.collation, options.now, options.regional);
  env.ansi = options.ansi;
  sql::Bind(*select.where, sql::BindOptions{&t.layout(), false, nullptr}, env);
  sql::IndexSeekOptions seek;
  seek.use = sql::IndexUse::kAlways;
  return sql::FindIndexCandidates(t, select.where.get(), env, t.Refresh(), seek).has_value();
}

struct Env {
  sql::Collation collation;
  bool ansi;
  const char* name;
};
constexpr Env kEnvs[] = {{sql::Collation::kMachine, true, "MACHINE ANSI"},
                         {sql::Collation::kMachine, false, "MACHINE"},
                         {sql::Collation::kRussian, true, "RUSSIAN ANSI"},
                         {sql::Collation::kRussian, false, "RUSSIAN"}};

class IndexSeek : public ::testing::Test {
 protected:
  // The table is built once (appending 2500 records one by one takes a while); each test works on a copy.
  static void SetUpTestSuite() {
    built_ = new testing::TempFolder("vorel_seek_grid");
    Build(built_->path());
  }
  static void TearDownTestSuite() {
    delete built_;
    built_ = nullptr;
  }
  void SetUp() override {
    options_.folder = folder_.path();
    options_.now = LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
    options_.lockWait = std::chrono::milliseconds(400);
    for (const char* f : {"grid.dbf", "grid.cdx"})
      std::filesystem::copy_file(built_->path() / f, folder_.path() / f);
  }

  static void Build(const std::filesystem::path& folder) {
    using sqltest::F;
    const std::vector<dbf::FieldSpec> fields = {F("id", FT::kNumeric, 6),
                                                F("name", FT::kCharacter, 8),
                                                F("num", FT::kNumeric, 7, 2),
                                                F("cnt", FT::kInteger),
                                                F("dat", FT::kDate),
                                                F("stamp", FT::kDateTime),
                                                F("flag", FT::kLogical),
                                                F("cash", FT::kCurrency),
                                                F("nname", FT::kCharacter, 6, 0, true),
                                                F("nnum", FT::kNumeric, 5, 0, true),
                                                F("kw", FT::kNumeric, 5),
                                                F("tim", FT::kCharacter, 5)};
    const std::vector<std::string> names = {"AB",      "ab",      "Ab ",     "ABC",     "ABCD",    "B",
                                            "",        "  X",     A("Иван"), A("иван"), A("ИВАН"), A("Ёлка"),
                                            A("Елка"), A("Гена"), A("Ґена"), "A-B",     "A'B",     "AB-",
                                            "Z",       "a",       "ABD",     "b c"};
    const char* times[] = {"08:00", "08:30", "09:00"};
    std::vector<std::vector<sql::Value>> rows;
    std::vector<std::string> keep;  // texts the rows point into
    keep.reserve(4000);
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) % n;
    };
    const int64_t day = JulianDayFromCivil(2026, 12, 10);
    for (int i = 0; i < 2500; ++i) {
      const std::string& name = names[next(static_cast<uint32_t>(names.size()))];
      std::vector<sql::Value> row;
      row.push_back(sql::Value::Number(i + 1));
      row.push_back(sql::Value::Text(name));
      row.push_back(sql::Value::Number((static_cast<double>(next(400)) - 200) / 4));
      row.push_back(sql::Value::Number(static_cast<double>(next(11)) - 5));
      row.push_back(next(15) == 0 ? sqltest::EmptyDate() : sql::Value::Date(day - 6 + next(12)));
      row.push_back(next(15) == 0 ? sql::Value::DateTime(0)
                                  : sql::Value::DateTime((day - 2 + next(4)) * sql::kMillisecondsPerDay +
                                                         next(86400) * 1000LL));
      row.push_back(sql::Value::Logical(next(2) == 0));
      row.push_back(sql::Value::Number((static_cast<double>(next(100)) - 20) / 4));
      row.push_back(next(5) == 0 ? sql::Value::Null() : sql::Value::Text(names[next(8)]));
      row.push_back(next(5) == 0 ? sql::Value::Null() : sql::Value::Number(next(6)));
      row.push_back(sql::Value::Number(100 + next(20)));
      row.push_back(sql::Value::Text(times[next(3)]));
      rows.push_back(std::move(row));
    }
    sqltest::MakeTable(folder, "grid", fields, rows);
    dbf::Table t = dbf::Table::Open(folder, "grid");
    for (uint32_t recno = 3; recno <= 2500; recno += 7) t.SetDeleted(recno);
    std::vector<dbf::TagSpec> tags = {{"name", "name", "", false, ""},
                                      {"uname", "UPPER(name)", "", false, ""},
                                      {"tname", "ALLTRIM(name)", "", false, ""},
                                      {"rname", "name", "", false, "RUSSIAN"},
                                      {"fname", "LOWER(name)", ".NOT.DELETED()", false, ""},
                                      {"num", "num", "", false, ""},
                                      {"cnt", "cnt", "", false, ""},
                                      {"dat", "dat", "", false, ""},
                                      {"stamp", "stamp", "", false, ""},
                                      {"flag", "flag", "", false, ""},
                                      {"cash", "cash", "", false, ""},
                                      {"nname", "nname", "", false, ""},
                                      {"nnum", "nnum", "", false, ""},
                                      {"slot", "DTOC(dat,1)+tim+STR(kw,5)", "", false, ""},
                                      {"id", "id", "", true, ""}};
    tags[6].descending = true;  // cnt
    tags[5].descending = true;  // num
    dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
  }

  // Runs `statement` with the index forced and with the scan forced under every environment.
  void ExpectSameBothWays(const std::string& statement) {
    for (const Env& e : kEnvs) {
      options_.collation = e.collation;
      options_.ansi = e.ansi;
      options_.indexUse = sql::IndexUse::kAlways;
      const std::string seek = Outcome(statement, options_);
      options_.indexUse = sql::IndexUse::kNever;
      const std::string scan = Outcome(statement, options_);
      EXPECT_EQ(seek, scan) << statement << " under " << e.name;
    }
  }

  static testing::TempFolder* built_;
  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
};

testing::TempFolder* IndexSeek::built_ = nullptr;

TEST_F(IndexSeek, SelectGivesTheScansRowsForEveryCondition) {
  const std::vector<std::string> conditions = {
      // Text: equality, exact equality, prefixes under SET ANSI OFF, ranges, case and Cyrillic letters.
      "name='AB'", "name='ab'", "name=='AB'", "name=='Ab'", "name='A'", "name=''", "name='  X'",
      "name='ABCDEFGHIJ'", "name>='AB'", "name>'AB'", "name<'B'", "name<='ABC'", "name BETWEEN 'AB' AND 'B'",
      "'AB'<name", "name='" + A("Иван") + "'", "name='" + A("иван") + "'", "name>='" + A("Е") + "'",
      "name<'" + A("Ж") + "'", "name='" + A("Гена") + "'", "name>='" + A("Г") + "' AND name<'" + A("Д") + "'",
      "name='A-B'", "name>'A'", "name>='AB-'", "name<'AB '", "name='b c'", "name>='b'", "UPPER(name)='AB'",
      "UPPER(name)>='AB'", "UPPER(name)='" + A("ИВАН") + "'", "ALLTRIM(name)='AB'", "ALLTRIM(name)='A'",
      "ALLTRIM(name)>='X'", "LOWER(name)='ab'",
      // Numbers, integers (descending tag), currency.
      "num=1.5", "num>=10", "num<-3", "num BETWEEN -1 AND 1", "2.5<num", "num>49.5", "cnt=3", "cnt>=2.5",
      "cnt<=-1", "cnt=2.5", "cnt>5", "cash>=10", "cash=2.5", "cash<0", "id=5", "id>=100 AND id<110",
      // Dates and date-times, empty ones included.
      "dat=DATE()", "dat>=DATE()-3", "dat>=DATE() AND dat<=DATE()+5", "dat={}", "dat<DATE(2026,12,6)",
      "stamp>=DATETIME()", "stamp<DATETIME(2026,12,9,12,0,0)", "stamp=DATETIME(2026,12,9,0,0,0)",
      // Logical, NULLs and nullable tags.
      "flag=.T.", "flag=.F.", "nname='AB'", "nname>='A'", "nname='a'", "nname IS NULL", "nnum=3", "nnum>=2",
      "nnum<2", "nname=='AB'",
      // The slot key of the bookings, whole and as a prefix.
      "DTOC(dat,1)+tim+STR(kw,5)='2026121008:30  105'", "DTOC(dat,1)+tim+str(kw,5)>='20261210'",
      "DTOC(dat,1)+tim+STR(kw,5)='20261210'", "DTOC(dat,1)+tim+STR(kw,5)<'2026120709'",
      // Several terms, contradictions, terms that give no range, type mismatches.
      "name='AB' AND num>0", "num>0 AND name='AB' OR flag", "kw=105 AND tim='08:30'", "num>5 AND num<3",
      "name='AB' AND cnt=1 AND dat>=DATE()", "NOT name='AB'", "name<>'AB'", "name='AB' AND 1=1", "num='AB'",
      "name=.NULL.", "dat=DATETIME()", "cnt=1 AND id>0 AND num>-100"};
  for (const std::string& c : conditions) ExpectSameBothWays("SELECT id, name FROM grid WHERE " + c);
  ExpectSameBothWays("SELECT id FROM grid WHERE num>=10 ORDER BY name, id");
  ExpectSameBothWays("SELECT name, COUNT(*) FROM grid WHERE name>='AB' GROUP BY name");
}

TEST_F(IndexSeek, ConditionsOnKeyExpressionsUseTheIndex) {
  options_.collation = sql::Collation::kMachine;
  for (const char* c : {"name='AB'", "num>=10", "cnt=3", "dat>=DATE()", "nname='AB'", "flag=.T.", "id=5",
                        "DTOC(dat,1)+tim+STR(kw,5)='2026121008:30  105'", "stamp>=DATETIME()", "cash=2.5"})
    EXPECT_TRUE(Seeks(folder_.path(), "grid", c, options_)) << c;
  // No tag on the expression, or a term that cannot narrow the rows.
  for (const char* c :
       {"kw=105", "name<>'AB'", "NOT name='AB'", "name='AB' OR num>0", "LOWER(name)='ab'", "nname IS NULL"})
    EXPECT_FALSE(Seeks(folder_.path(), "grid", c, options_)) << c;
  // The bookings' connection compares under RUSSIAN: digits and blanks weigh alone, so the slot key seeks.
  options_.collation = sql::Collation::kRussian;
  EXPECT_TRUE(Seeks(folder_.path(), "grid", "DTOC(dat,1)+tim+STR(kw,5)='2026121008:30  105'", options_));
  EXPECT_TRUE(Seeks(folder_.path(), "grid", "name>='AB'", options_));  // through the RUSSIAN tag
}

TEST_F(IndexSeek, UpdateAndDeleteChangeTheSameRecordsBothWays) {
  testing::TempFolder other;
  for (const char* f : {"grid.dbf", "grid.cdx"})
    std::filesystem::copy_file(folder_.path() / f, other.path() / f);
  sql::ExecutionOptions scan = options_;
  scan.folder = other.path();
  scan.indexUse = sql::IndexUse::kNever;
  options_.indexUse = sql::IndexUse::kAlways;
  options_.collation = scan.collation = sql::Collation::kRussian;
  for (const char* s : {"UPDATE grid SET num=num+1 WHERE name='AB'",
                        "UPDATE grid SET name='ZZ' WHERE num>=10 AND num<20", "DELETE FROM grid WHERE cnt=3",
                        "UPDATE grid SET flag=.T. WHERE DTOC(dat,1)+tim+STR(kw,5)>='20261212'",
                        "UPDATE grid SET nname='Q' WHERE nname='AB' AND nnum>=2",
                        "DELETE FROM grid WHERE id<50", "UPDATE grid SET cnt=cnt+1 WHERE cnt>=2"}) {
    EXPECT_EQ(Outcome(s, options_), Outcome(s, scan)) << s;
    EXPECT_EQ(testing::TempFolder::ReadFile(folder_.path() / "grid.dbf"),
              testing::TempFolder::ReadFile(other.path() / "grid.dbf"))
        << s;
  }
  dbf::Table t = dbf::Table::Open(folder_.path(), "grid");
  EXPECT_TRUE(dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler()).ok());
  ExpectSameBothWays("SELECT id, name, num, cnt FROM grid WHERE name='ZZ' OR cnt>=3");
}

TEST(IndexSeekVfp, FixtureTablesGiveTheScansRows) {
  testing::TempFolder folder;
  const std::filesystem::path fixtures = std::filesystem::path(VOREL_FIXTURES_DIR) / "vfp" / "foxprodb";
  for (const auto& entry : std::filesystem::directory_iterator(fixtures))
    std::filesystem::copy_file(entry.path(), folder.path() / entry.path().filename());
  sql::ExecutionOptions options;
  options.folder = folder.path();
  options.now = LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
  options.lockWait = std::chrono::milliseconds(400);
  const std::vector<std::string> statements = {
      "SELECT call_id, contact_id FROM calls WHERE call_id=3",
      "SELECT call_id FROM calls WHERE call_id>=10",
      "SELECT call_id FROM calls WHERE call_id<5 AND contact_id>=2",
      "SELECT call_id FROM calls WHERE contact_id=2",
      "SELECT contact_id FROM contacts WHERE contact_id BETWEEN 2 AND 4",
      "SELECT key_name FROM setup WHERE key_name>='A'",
      "SELECT key_name FROM setup WHERE key_name<'M'",
      "SELECT * FROM types WHERE contact_ty>=1"};
  for (const std::string& s : statements) {
    for (const Env& e : kEnvs) {
      options.collation = e.collation;
      options.ansi = e.ansi;
      options.indexUse = sql::IndexUse::kAlways;
      const std::string seek = Outcome(s, options);
      options.indexUse = sql::IndexUse::kNever;
      EXPECT_EQ(seek, Outcome(s, options)) << s << " under " << e.name;
      EXPECT_EQ(seek.rfind("error", 0), std::string::npos) << s << ": " << seek;
    }
  }
  options.collation = sql::Collation::kMachine;
  EXPECT_TRUE(Seeks(folder.path(), "calls", "call_id>=10", options));
  EXPECT_TRUE(Seeks(folder.path(), "setup", "key_name>='A'", options));
  // A write found through the index keeps the VFP-written tags true.
  options.indexUse = sql::IndexUse::kAlways;
  EXPECT_EQ(Outcome("UPDATE calls SET contact_id=contact_id+1 WHERE call_id>=5 AND call_id<9", options),
            "affected 4");
  dbf::Table t = dbf::Table::Open(folder.path(), "calls");
  EXPECT_TRUE(dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler()).ok());
  EXPECT_EQ(Outcome("SELECT call_id FROM calls WHERE contact_id>=1", options),
            (options.indexUse = sql::IndexUse::kNever,
             Outcome("SELECT call_id FROM calls WHERE contact_id>=1", options)));
}

}  // namespace
}  // namespace vorel
