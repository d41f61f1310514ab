#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/cdx_check.h"
#include "dbf/cdx_file.h"
#include "dbf/index_key.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"
#include "dbf_test_support.h"
#include "platform/calendar.h"

namespace vorel::dbf {
namespace {

using testing::CopyFixture;
using testing::FixturePath;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s += static_cast<char>(x);
  return s;
}

TEST(IndexKeys, EncodeAsVfpOrdersThem) {
  EXPECT_EQ(IntegerKey(1), Bytes({0x80, 0, 0, 1}));
  EXPECT_EQ(IntegerKey(-1), Bytes({0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(SortableDoubleKey(1.0), Bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(SortableDoubleKey(-0.0), Bytes({0x80, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(SortableDoubleKey(-1.0), Bytes({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  // A date key seen in a VFP-written index: 1996-07-04.
  CdxTag dateTag;
  dateTag.keyLength = 8;
  KeyValue date;
  date.type = KeyValue::Type::kDate;
  date.date = JulianDayFromCivil(1996, 7, 4);
  EXPECT_EQ(EncodeKey(dateTag, date), Bytes({0xC1, 0x42, 0xB1, 0xAE, 0x80, 0, 0, 0}));
  // Nullable tags: 0x80 prefix, NULL as zeros.
  CdxTag nullable;
  nullable.keyLength = 6;
  nullable.options = kTagNullable;
  KeyValue text;
  text.text = "ALFKI";
  EXPECT_EQ(EncodeKey(nullable, text),
            "\x80"
            "ALFKI");
  text.null = true;
  EXPECT_EQ(EncodeKey(nullable, text), std::string(6, '\0'));
  nullable.keyLength = 0;  // a damaged header: no length left after the NULL mark
  EXPECT_THROW(EncodeKey(nullable, text), FieldValueError);
  // Order of keys is the order of values.
  for (double a : {-1e9, -2.5, -0.001, 0.0, 0.5, 3.0, 1e12})
    for (double b : {-1e9, -2.5, -0.001, 0.0, 0.5, 3.0, 1e12})
      EXPECT_EQ(a < b, SortableDoubleKey(a) < SortableDoubleKey(b)) << a << " " << b;
  EXPECT_LT(CurrencyKey(-5), CurrencyKey(3));
}

TEST(IndexKeys, BasicExpressionsOfTableFields) {
  TempFolder folder;
  const std::vector<FieldSpec> specs = {{"kw", FieldType::kNumeric, 5},
                                        {"dat", FieldType::kDate},
                                        {"tim", FieldType::kCharacter, 5},
                                        {"fiol", FieldType::kCharacter, 10}};
  Table t = Table::Create(folder.path(), "m2401", specs);
  std::string r(t.layout().recordLength, ' ');
  EncodeInteger(t.GetField("kw"), 42, r);
  EncodeDate(t.GetField("dat"), JulianDayFromCivil(2026, 12, 8), r);
  EncodeText(t.GetField("tim"), "08:30", r);
  EncodeText(t.GetField("fiol"), "ivanov", r);
  BasicKeyExpressionCompiler compiler;
  auto slot = compiler.Compile(t.layout(), "DTOC(dat,1)+tim+str(kw,5)");
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->Evaluate(r).text, "2026120808:30   42");
  auto name = compiler.Compile(t.layout(), "UPPER(ALLTRIM(m2401.fiol))+'|'+DTOS(dat)");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->Evaluate(r).text, "IVANOV|20261208");
  auto notDeleted = compiler.Compile(t.layout(), ".NOT.DELETED()");
  ASSERT_TRUE(notDeleted);
  EXPECT_TRUE(notDeleted->Evaluate(r).logical);
  r[0] = '*';
  EXPECT_FALSE(notDeleted->Evaluate(r).logical);
  EXPECT_EQ(compiler.Compile(t.layout(), "SOUNDEX(fiol)"), nullptr);
  EXPECT_EQ(compiler.Compile(t.layout(), "nosuchfield"), nullptr);
  EXPECT_EQ(compiler.Compile(t.layout(), "UPPER(kw)"), nullptr);  // type error found at compile time
}

// FOR clauses compare numbers, dates and logicals and combine them with xBase precedence; text comparisons
// depend on settings of the writing program and are refused, as are logical combinations over NULLs.
TEST(IndexKeys, ConditionsOfForClauses) {
  TempFolder folder;
  const std::vector<FieldSpec> specs = {
      {"kw", FieldType::kNumeric, 5},  {"dat", FieldType::kDate},   {"tim", FieldType::kCharacter, 5},
      {"kl", FieldType::kNumeric, 10}, {"ok", FieldType::kLogical}, {"pay", FieldType::kNumeric, 6, 0, true}};
  Table t = Table::Create(folder.path(), "m2401", specs);
  std::string r(t.layout().recordLength, ' ');
  for (const Field& f : t.layout().allFields) EncodeBlank(f, r);
  EncodeInteger(t.GetField("kw"), 42, r);
  EncodeDate(t.GetField("dat"), JulianDayFromCivil(2026, 12, 8), r);
  EncodeInteger(t.GetField("kl"), 0, r);
  BasicKeyExpressionCompiler compiler;
  auto eval = [&](const char* text) {
    auto e = compiler.Compile(t.layout(), text);
    EXPECT_TRUE(e) << text;
    return e ? e->Evaluate(r) : KeyValue{};
  };
  EXPECT_TRUE(eval("kl=0").logical);
  EXPECT_FALSE(eval("kl<>0").logical);
  EXPECT_FALSE(eval("kl#0").logical);
  EXPECT_TRUE(eval("kw>=42 .AND. kw<43").logical);
  EXPECT_TRUE(eval("kw > 100 .or. kl = 0").logical);
  EXPECT_TRUE(eval("!kl=1").logical);  // NOT ranks below the comparison
  EXPECT_FALSE(eval(".NOT. (kw=42 .AND. kl=0)").logical);
  EXPECT_TRUE(eval("kw=42 .AND. !DELETED() .OR. kl=5").logical);
  EXPECT_TRUE(eval("ok=.F.").logical);
  EXPECT_TRUE(eval("dat>=dat").logical);
  EXPECT_FALSE(eval("dat<dat").logical);
  EXPECT_EQ(compiler.Compile(t.layout(), "dat>kw"), nullptr);
  r[0] = '*';
  EXPECT_FALSE(eval("kw=42 .AND. !DELETED()").logical);
  EXPECT_TRUE(eval("DELETED() .AND. kw=42").logical);
  // A NULL operand makes the comparison NULL: the record stays out of the tag.
  EncodeNull(t.GetField("pay"), r);
  EXPECT_TRUE(eval("pay=0").null);
  EXPECT_EQ(compiler.Compile(t.layout(), "tim='08:30'"), nullptr);
  EXPECT_EQ(compiler.Compile(t.layout(), "kw=tim"), nullptr);
  EXPECT_EQ(compiler.Compile(t.layout(), "pay=0 .OR. kl=0"), nullptr);
  EXPECT_EQ(compiler.Compile(t.layout(), "kw=42 .AND."), nullptr);
}

TEST(CdxReading, TagsAndEntriesOfAVfpIndex) {
  CdxFile cdx(SharedFile::Open(FixturePath("foxprodb/calls.CDX").string(), SharedFile::Mode::kRead), "calls");
  ASSERT_EQ(cdx.tags().size(), 2u);
  const CdxTag* id = cdx.FindTag("call_id");
  ASSERT_NE(id, nullptr);
  EXPECT_TRUE(id->candidate());
  EXPECT_EQ(id->keyLength, 4);
  EXPECT_EQ(id->headerOffset, 0x600u);
  std::vector<uint32_t> recnos;
  cdx.ForEachEntry(*id, '\0', [&](const CdxEntry& e) {
    EXPECT_EQ(e.key, IntegerKey(static_cast<int32_t>(e.recno)));
    recnos.push_back(e.recno);
    return true;
  });
  EXPECT_EQ(recnos.size(), 16u);
  EXPECT_TRUE(std::is_sorted(recnos.begin(), recnos.end()));
  EXPECT_FALSE(cdx.FindTag("contact_id")->candidate());
}

class CdxCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"calls.dbf", "calls.CDX", "calls.FPT", "setup.dbf", "setup.CDX"})
      CopyFixture(std::string("foxprodb/") + f, folder.path());
  }
  IndexCheckReport Check(const char* name) {
    Table t = Table::Open(folder.path(), name);
    return CheckTableIndex(t, BasicKeyExpressionCompiler());
  }
  std::string Joined(const IndexCheckReport& r) {
    std::string all;
    for (const auto& p : r.problems) all += p + "\n";
    return all;
  }
  TempFolder folder;
};

TEST_F(CdxCheck, VfpWrittenIndexesAreConsistent) {
  for (const char* name : {"calls", "setup"}) {
    const IndexCheckReport r = Check(name);
    EXPECT_TRUE(r.ok()) << Joined(r);
    EXPECT_TRUE(r.notes.empty());
    EXPECT_GT(r.tagsChecked, 0u);
  }
}

TEST_F(CdxCheck, FindsRecordsThatDisagreeWithTheirKeys) {
  // Change CALL_ID of record 3 in the table only.
  Table t = Table::Open(folder.path(), "calls");
  const uint64_t at = t.layout().RecordOffset(3) + t.GetField("call_id").offset;
  std::string dbf = ReadBytes(folder.path() / "calls.dbf");
  StoreLe32(&dbf[at], 99);
  WriteBytes(folder.path() / "calls.dbf", dbf);
  const std::string problems = Joined(Check("calls"));
  EXPECT_NE(problems.find("tag CALL_ID: record 3 has no entry"), std::string::npos) << problems;
  EXPECT_NE(problems.find("does not match the record"), std::string::npos) << problems;
}

TEST_F(CdxCheck, WritesThroughTheTableKeepAVfpIndexTrue) {
  Table t = Table::Open(folder.path(), "calls");
  ASSERT_TRUE(t.writable());
  const uint32_t some[] = {2, 7, 16};
  t.UpdateRecords(some, [&](uint32_t recno, std::string_view, std::span<char> r) {
    EncodeInteger(t.GetField("call_id"), 100 + recno, r);
    EncodeInteger(t.GetField("contact_id"), 9, r);
    return true;
  });
  for (int i = 0; i < 50; ++i)
    t.AppendRecord([&](std::span<char> r) {
      EncodeInteger(t.GetField("call_id"), 1000 - i, r);
      EncodeInteger(t.GetField("contact_id"), i % 4, r);
    });
  const IndexCheckReport r = Check("calls");
  EXPECT_TRUE(r.ok()) << Joined(r);
  // A candidate key that is taken fails the write.
  EXPECT_THROW(t.AppendRecord([&](std::span<char> r) { EncodeInteger(t.GetField("call_id"), 1, r); }),
               FieldValueError);
}

#ifndef _WIN32  // a second process by fork()
TEST_F(CdxCheck, IndexLockHeldByAnotherProcessMakesTheWriteWait) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const auto cdxPath = (folder.path() / "calls.CDX").string();
  const pid_t child = fork();
  if (child == 0) {
    SharedFile f = SharedFile::Open(cdxPath, SharedFile::Mode::kReadWrite);
    const bool locked = f.TryLock(0x7FFFFFFE, 1);
    (void)!write(ready[1], "x", 1);
    usleep(600 * 1000);
    _exit(locked ? 0 : 1);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  TableOptions o;
  o.lockRetryInterval = std::chrono::milliseconds(100);
  Table t = Table::Open(folder.path(), "calls", o);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(t.UpdateRecord(1, [&](uint32_t, std::string_view, std::span<char> r) {
    EncodeInteger(t.GetField("call_id"), 500, r);
    return true;
  }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(Check("calls").ok());
}
#endif

TEST_F(CdxCheck, FindsBrokenNodes) {
  const std::string original = ReadBytes(folder.path() / "calls.CDX");
  CdxFile cdx(SharedFile::Open((folder.path() / "calls.CDX").string(), SharedFile::Mode::kRead), "calls");
  const uint32_t root = cdx.FindTag("CALL_ID")->rootOffset;

  std::string bytes = original;
  StoreLe32(&bytes[root + 8], 0x1000);  // the only leaf claims a right sibling
  WriteBytes(folder.path() / "calls.CDX", bytes);
  EXPECT_NE(Joined(Check("calls")).find("tag CALL_ID"), std::string::npos);

  bytes = original;
  bytes[root + 23] = 9;  // entry size beyond 8 bytes
  WriteBytes(folder.path() / "calls.CDX", bytes);
  EXPECT_NE(Joined(Check("calls")).find("invalid bit widths"), std::string::npos);

  bytes = original;
  StoreLe16(&bytes[root + 2], 400);  // more entries than fit
  WriteBytes(folder.path() / "calls.CDX", bytes);
  EXPECT_NE(Joined(Check("calls")).find("more entries than fit"), std::string::npos);

#ifndef _WIN32  // Windows keeps a removed file in the folder until its last open handle is closed
  std::filesystem::remove(folder.path() / "calls.CDX");
  EXPECT_NE(Joined(Check("calls")).find("calls.cdx is missing"), std::string::npos);
#endif
}

// Tags are found by name, so a directory whose names do not tell its tags apart is refused by the check and
// by writes alike, before any key is made.
TEST_F(CdxCheck, RefusesADirectoryWhoseNamesDoNotTellItsTagsApart) {
  const std::string original = ReadBytes(folder.path() / "calls.CDX"),
                    table = ReadBytes(folder.path() / "calls.dbf");
  // The directory leaf keeps "CALL_ID" at 0x5F9 and the rest of "CONTACT_ID" (after its shared "C") at 0x5F0.
  const struct {
    size_t at;
    const char* bytes;
    const char* expected;
  } cases[] = {
      {0x5F9, "       ", "a tag without a name"},
      {0x5F0, "all_id   ", "two tags are named Call_id"},
  };
  for (const auto& c : cases) {
    std::string bytes = original;
    bytes.replace(c.at, std::strlen(c.bytes), c.bytes);
    WriteBytes(folder.path() / "calls.CDX", bytes);
    EXPECT_NE(Joined(Check("calls")).find(c.expected), std::string::npos) << c.expected;
    Table t = Table::Open(folder.path(), "calls");
    const uint32_t one[] = {2};
    EXPECT_THROW(t.UpdateRecords(one,
                                 [&](uint32_t, std::string_view, std::span<char> r) {
                                   EncodeInteger(t.GetField("contact_id"), 9, r);
                                   return true;
                                 }),
                 CorruptTableError)
        << c.expected;
    EXPECT_EQ(ReadBytes(folder.path() / "calls.dbf"), table);
    EXPECT_EQ(ReadBytes(folder.path() / "calls.CDX"), bytes);
  }
}

}  // namespace
}  // namespace vorel::dbf
