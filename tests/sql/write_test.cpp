// UPDATE, DELETE, INSERT and CREATE TABLE: what is written, and that a failure writes nothing.
#include <gtest/gtest.h>

#include "dbf/dbf_errors.h"
#include "platform/shared_file.h"
#include "sql/sql_errors.h"
#include "sql_test_tables.h"
#include "support/temp_folder.h"

namespace vorel::sqltest {
namespace {

using FT = dbf::FieldType;

const sql::Value kDec15 = sql::Value::Date(JulianDayFromCivil(2026, 12, 15));

class WriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.folder = folder_.path();
    options_.collation = sql::Collation::kRussian;
    options_.now = LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
    options_.lockWait = std::chrono::milliseconds(400);
    // kw, dat, tim, kl, polis, fiol, ist_zap, filtr, phone, fam_reg, dt_zap, data_naz, ntal, tel
    MakeTable(folder_.path(), "m2401", M2401Fields(),
              {{N(1203), kDec15, T("09:30"), N(0), T(""), T(""), T("2"), T("f1")},
               {N(1204), kDec15, T("10:00"), N(555), T(""), T(A("Петров П")), T("2"), T(""), T("OLNA"),
                T("OLNA-555"), sql::Value::DateTime(0), sql::Value::DateTime(0), N(4), N(2)},
               {N(1205), kDec15, T("10:30"), N(0), T("4455"), T(A("*Сидоров")), T("2"), T(""), T("OLNA"),
                T("OLNA"), sql::Value::DateTime(0), sql::Value::DateTime(0), N(1), N(2)},
               {N(5), kDec15, T("11:00"), N(0), T(""), T(""), T(""), T(""), T(""), T(""),
                sql::Value::DateTime(0), sql::Value::DateTime(0), N(7)},
               {N(5), kDec15, T("11:30"), N(0), T(""), T(""), T(""), T(""), T(""), T(""),
                sql::Value::DateTime(0), sql::Value::DateTime(0), N(8)},
               {N(100), kDec15, T("12:00"), N(0)}});
  }

  sql::StatementOutcome Run(const std::string& statement) { return sql::RunStatement(statement, options_); }
  sql::ResultSet Select(const std::string& statement) { return Run(statement).rows; }
  std::string FileBytes() { return testing::TempFolder::ReadFile(folder_.path() / "m2401.dbf"); }

  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
};

TEST_F(WriteTest, BookingUpdatesOfARegisteredPatientAndByPolicy) {
  auto booked = Run(
      "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', fam_reg='OLNA-555', fiol='" +
      A("Иванов Иван") + "',kl=555,tel=2 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121509:30 1203'");
  EXPECT_FALSE(booked.hasRows);
  EXPECT_EQ(booked.rowsAffected, 1);
  auto row = Select("select kw,kl,fiol,phone,fam_reg,tel,dt_zap,filtr from m2401 WHERE kw=1203");
  ASSERT_EQ(row.rowCount(), 1u);
  EXPECT_EQ(row.Get(0, 1).number, 555);
  EXPECT_EQ(row.Get(0, 2).text, A("Иванов Иван") + std::string(19, ' '));
  EXPECT_EQ(row.Get(0, 3).text.substr(0, 5), "OLNA ");
  EXPECT_EQ(row.Get(0, 5).number, 2);
  EXPECT_EQ(row.Get(0, 6).moment,
            JulianDayFromCivil(2026, 12, 10) * sql::kMillisecondsPerDay + (14 * 3600 + 5 * 60 + 30) * 1000LL);
  EXPECT_EQ(row.Get(0, 7).text.substr(0, 2), "f1");  // fields not named keep their values

  auto byPolicy = Run(
      "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', polis='7777', fam_reg='OLNA', "
      "fiol='*" +
      A("Смирнов") + "',kl=0,tel=2 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121512:00  100'");
  EXPECT_EQ(byPolicy.rowsAffected, 1);
  EXPECT_EQ(Select("select kw from m2401 where polis='7777'").rowCount(), 1u);
  EXPECT_EQ(Run("UPDATE m2401 SET kl=1 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121512:00 100'").rowsAffected, 0);
}

TEST_F(WriteTest, CancellationsFreeOnlyTheMatchingSlot) {
  const std::string delrec =
      "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=1204 AND "
      "DTOS(dat)='20261215' AND "
      "kl=0555 AND tim='10:00'";
  EXPECT_EQ(Run(delrec).rowsAffected, 1);
  auto freed = Select("select kl,fiol,ntal,tel,phone from m2401 where kw=1204");
  EXPECT_EQ(freed.Get(0, 0).number, 0);
  EXPECT_EQ(freed.Get(0, 1).text, std::string(30, ' '));
  EXPECT_EQ(freed.Get(0, 4).text.substr(0, 9), "OLNA-DEL ");
  EXPECT_EQ(Run(delrec).rowsAffected, 0);  // no longer held by that patient

  const std::string delrec2 =
      "UPDATE m2401 SET fiol='', polis='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=1205 AND "
      "DTOS(dat)='20261215' AND polis='4455' AND tim='10:30'";
  EXPECT_EQ(Run(delrec2).rowsAffected, 1);
  EXPECT_EQ(Select("select kw from m2401 where trim(polis)<>''").rowCount(), 0u);
}

TEST_F(WriteTest, UpdateOfSeveralRecordsSeesOldValuesAndCutsText) {
  auto r = Run("update m2401 set ntal=ntal+10, kl=ntal, fiol='" + std::string(40, 'x') + "' where kw=5");
  EXPECT_EQ(r.rowsAffected, 2);
  auto rows = Select("select ntal, kl, fiol from m2401 where kw=5");
  ASSERT_EQ(rows.rowCount(), 2u);
  EXPECT_EQ(rows.Get(0, 0).number, 17);
  EXPECT_EQ(rows.Get(0, 1).number, 7);  // the old ntal
  EXPECT_EQ(rows.Get(1, 0).number, 18);
  EXPECT_EQ(rows.Get(1, 1).number, 8);
  EXPECT_EQ(rows.Get(0, 2).text, std::string(30, 'x'));
}

TEST_F(WriteTest, NumericOverflowFailsTheStatementAndWritesNothing) {
  const std::string before = FileBytes();
  // tel is N(3): kw*10 fits for kw=5 but not for kw=1203 (the first record).
  EXPECT_THROW(Run("update m2401 set tel=kw*10, fiol='changed' where kw>0"), dbf::NumericOverflowError);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_THROW(Run("update m2401 set tel=kw*10 where kw=5 or kw=100"), dbf::NumericOverflowError);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_THROW(Run("update m2401 set kl='x' where kw=5"), sql::TypeMismatchError);
  EXPECT_THROW(Run("update m2401 set nosuch=1 where kw=5"), sql::UnknownColumnError);
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(WriteTest, LockedRecordFailsAfterTheWaitAndWritesNothing) {
  const std::string before = FileBytes();
  SharedFile other = SharedFile::Open((folder_.path() / "m2401.dbf").string(), SharedFile::Mode::kReadWrite);
  ASSERT_TRUE(other.TryLock(0x7FFFFFFEull - 5, 1));  // record 5, as the reception desk program locks it
  EXPECT_THROW(Run("update m2401 set ntal=0 where kw=5"), dbf::RecordLockedError);
  EXPECT_EQ(FileBytes(), before);
  other.Unlock(0x7FFFFFFEull - 5, 1);
  EXPECT_EQ(Run("update m2401 set ntal=0 where kw=5").rowsAffected, 2);
}

TEST_F(WriteTest, TableWithStructuralIndexRefusesWritesCleanly) {
  MakeTable(folder_.path(), "indexed", {F("a", FT::kNumeric, 3)}, {{N(1)}, {N(2)}});
  {
    std::string bytes = testing::TempFolder::ReadFile(folder_.path() / "indexed.dbf");
    SharedFile f = SharedFile::Open((folder_.path() / "indexed.dbf").string(), SharedFile::Mode::kReadWrite);
    char flags = static_cast<char>(bytes[28] | dbf::kTableHasStructuralIndex);
    f.WriteAt(28, std::span<const char>(&flags, 1));
  }
  const std::string before = testing::TempFolder::ReadFile(folder_.path() / "indexed.dbf");
  EXPECT_THROW(Run("update indexed set a=5"), dbf::IndexedTableWriteError);
  EXPECT_THROW(Run("insert into indexed values (5)"), dbf::IndexedTableWriteError);
  EXPECT_THROW(Run("delete from indexed where a=1"), dbf::IndexedTableWriteError);
  EXPECT_EQ(testing::TempFolder::ReadFile(folder_.path() / "indexed.dbf"), before);
  EXPECT_EQ(Select("select a from indexed").rowCount(), 2u);  // reading goes on
}

TEST_F(WriteTest, DeletedRecordsAreInvisibleToEveryStatement) {
  EXPECT_EQ(Run("delete from m2401 where kw=5").rowsAffected, 2);
  EXPECT_EQ(Select("select * from m2401").rowCount(), 4u);
  EXPECT_EQ(Run("update m2401 set ntal=99 where kw=5").rowsAffected, 0);
  EXPECT_EQ(Run("delete from m2401 where kw=5").rowsAffected, 0);
  EXPECT_EQ(Select("select count(*) from m2401").Get(0, 0).number, 4);
}

TEST_F(WriteTest, CreateTableAndInsertEveryType) {
  Run("create table visits (name c(10), amount n(8,2), paid y, born d, seen t, ok l, note m, cnt i, rate b "
      "null)");
  auto inserted = Run("insert into visits (name, amount, paid, born, seen, ok, note, cnt, rate) values ('" +
                      A("Анна") + "', 12.345, 3.5, {^2000-02-29}, {^2026-12-10 08:00:00}, .T., 'long text " +
                      std::string(300, 'z') + "', 42, null)");
  EXPECT_EQ(inserted.rowsAffected, 1);
  Run("insert into visits values ('x', -1, 0, {}, {}, .F., '', 0, 2.5)");
  auto r = Select("select * from visits");
  ASSERT_EQ(r.rowCount(), 2u);
  EXPECT_EQ(r.Get(0, 0).text, A("Анна") + "      ");
  EXPECT_EQ(r.Get(0, 1).number, 12.35);
  EXPECT_EQ(r.Get(0, 2).number, 3.5);
  EXPECT_EQ(r.Get(0, 3).moment, JulianDayFromCivil(2000, 2, 29));
  EXPECT_TRUE(r.Get(0, 5).logical);
  EXPECT_EQ(r.Get(0, 6).text.size(), 310u);
  EXPECT_EQ(r.Get(0, 7).number, 42);
  EXPECT_TRUE(r.Get(0, 8).isNull());
  EXPECT_EQ(r.Get(1, 8).number, 2.5);
  EXPECT_TRUE(r.Get(1, 3).isEmptyMoment());
  EXPECT_EQ(r.columns()[6].type, FT::kMemo);
  EXPECT_EQ(Select("select name from visits where note like 'long%'").rowCount(), 1u);
  EXPECT_THROW(Run("insert into visits (name) values (1)"), sql::TypeMismatchError);
  EXPECT_THROW(Run("insert into visits (name, amount) values ('a')"), sql::InvalidStatementError);
  EXPECT_THROW(Run("insert into visits (amount) values (123456789)"), dbf::NumericOverflowError);
  EXPECT_EQ(Select("select * from visits").rowCount(), 2u);
}

}  // namespace
}  // namespace vorel::sqltest
