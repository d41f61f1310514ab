// The query object's rows one at a time: each row reads as the same row after Open, and failures part-way
// close the query and reach the caller.
#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <stdexcept>

#include "database/database_errors.h"
#include "database_test_support.h"
#include "dbf/field_encode.h"
#include "sql/sql_test_tables.h"

namespace vorel::dbtest {
namespace {

using sqltest::D;
using sqltest::EmptyDate;
using sqltest::F;
using sqltest::N;
using sqltest::T;
using FT = dbf::FieldType;

class QueryStreamTest : public ::testing::Test {
 protected:
  // Five rows, k = 1..5; unreadable bytes in n (rows 1, 2), d (row 3) and a damaged memo (row 2).
  void SetUp() override {
    sqltest::MakeTable(
        db.folder.path(), "odd",
        {F("n", FT::kNumeric, 6, 1), F("d", FT::kDate), F("note", FT::kMemo), F("k", FT::kNumeric, 3)},
        {{N(1), D(2026, 1, 2), T("first"), N(1)},
         {N(2), D(2026, 1, 3), T("second"), N(2)},
         {N(3), D(2026, 1, 4), T("third"), N(3)},
         {N(-4.5), EmptyDate(), T(""), N(4)},
         {N(5), D(2026, 1, 5), T("fifth"), N(5)}});
    dbf::Table t = dbf::Table::Open(db.folder.path(), "odd");
    const auto change = [&](uint32_t recno, const std::function<void(std::span<char>)>& edit) {
      t.UpdateRecord(recno, [&](uint32_t, std::string_view, std::span<char> changed) {
        edit(changed);
        return true;
      });
    };
    const auto put = [&](uint32_t recno, const char* field, std::string_view bytes) {
      change(recno, [&](std::span<char> r) {
        std::copy(bytes.begin(), bytes.end(), r.begin() + t.GetField(field).offset);
      });
    };
    put(1, "n", "******");
    put(2, "n", "   x12");
    put(3, "d", "2026ab01");
    change(2, [&](std::span<char> r) { dbf::EncodeMemoBlock(t.GetField("note"), 0x7FFFFF00u, r); });
    db.ADO.Connect();
  }

  // The current row as text: each column's text (or its error), "!" before a malformed one.
  std::string RowText() const {
    std::string row;
    for (size_t c = 0; c < db.SQL.FieldCount(); ++c) {
      if (db.SQL.FieldMalformed(c)) row += "!";
      try {
        row += db.SQL.FieldText(c);
      } catch (const QueryError& e) {
        row += e.what();
      }
      row += "|";
    }
    return row;
  }

  DatabaseFixture db;
};

TEST_F(QueryStreamTest, EachRowReadsAsAfterOpen) {
  const char* statements[] = {
      "select * from odd",
      "select n, d, n+1, note, k from odd where k>1",
      "select note, k from odd order by k desc",
      "select distinct n from odd",
      "select k, count(*) from odd group by k",
      "select alltrim(str(k)) from odd",
      "select note from odd where k>99",
  };
  for (const char* statement : statements) {
    db.SQL.Lines() = {statement};
    db.SQL.Open();
    std::vector<std::string> opened;
    for (db.SQL.First(); !db.SQL.Eof(); db.SQL.Next()) opened.push_back(RowText());
    const int64_t count = db.SQL.RecordCount();

    std::vector<std::string> streamed;
    int starts = 0;
    int64_t atMost = -1;
    db.SQL.Stream(
        [&](int64_t rowsAtMost) {
          EXPECT_TRUE(streamed.empty());
          ++starts;
          atMost = rowsAtMost;
        },
        [&] {
          EXPECT_EQ(db.SQL.RecordCount(), 1);
          streamed.push_back(RowText());
        });
    EXPECT_EQ(streamed, opened) << statement;
    EXPECT_EQ(starts, 1) << statement;
    EXPECT_GE(atMost, count) << statement;
    EXPECT_FALSE(db.SQL.Active()) << statement;
  }
}

TEST_F(QueryStreamTest, FailuresPartWayCloseTheQueryAndReachTheCaller) {
  struct Case {
    const char* statement;
    bool connected;
    int throwAtRow;  // 0: the row function never throws
    int rowsGiven;
    const char* error;
  };
  const Case cases[] = {
      {"select k from odd", false, 0, 0, "SQL: Connection"},
      {"select len(space(3-k)) from odd", true, 0, 3, "Function argument value"},  // k=4, after three rows
      {"select len(note) from odd", true, 0, 1, ""},  // the damaged memo of row 2
      {"select k from odd", true, 2, 2, "row function"},
      {"select k from odd order by k", true, 2, 2, "row function"},
      {"update odd set k=k+10", true, 0, 0, "SQL: The statement returns no result set"},
  };
  for (const Case& c : cases) {
    if (c.connected) {
      db.ADO.Connect();
    } else {
      db.ADO.Disconnect();
    }
    db.SQL.Lines() = {c.statement};
    int rows = 0;
    std::string error = "no error";
    try {
      db.SQL.Stream([](int64_t) {},
                    [&] {
                      if (++rows == c.throwAtRow) throw std::runtime_error("row function");
                    });
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_EQ(rows, c.rowsGiven) << c.statement;
    EXPECT_NE(error, "no error") << c.statement;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.statement << ": " << error;
    EXPECT_FALSE(db.SQL.Active()) << c.statement;
  }
  db.SQL.Lines() = {"select k from odd where k>10"};
  db.SQL.Open();
  EXPECT_EQ(db.SQL.RecordCount(), 5);  // the UPDATE ran, as through Open
}

}  // namespace
}  // namespace vorel::dbtest
