#include <gtest/gtest.h>

#include <set>

#include "cdx_walk.h"
#include "dbf/byte_order.h"
#include "dbf/cdx_build.h"
#include "dbf/cdx_check.h"
#include "dbf/cdx_writer.h"
#include "dbf/index_key.h"
#include "dbf/index_seek.h"
#include "dbf/table.h"
#include "dbf_test_support.h"
#include "platform/calendar.h"

namespace vorel::dbf {
namespace {

using testing::TempFolder;

// A slot table of `count` records appended in one go (no per-record locking cost in the test).
Table SlotTable(const std::filesystem::path& folder, uint32_t count) {
  const std::vector<FieldSpec> specs = {{"kw", FieldType::kNumeric, 5},
                                        {"dat", FieldType::kDate},
                                        {"tim", FieldType::kCharacter, 5},
                                        {"kl", FieldType::kInteger},
                                        {"fiol", FieldType::kCharacter, 20}};
  Table t = Table::Create(folder, "m2401", specs);
  std::string body;
  const size_t length = t.layout().recordLength;
  for (uint32_t i = 0; i < count; ++i) {
    std::string r(length, ' ');
    for (const Field& f : t.fields()) EncodeBlank(f, r);
    EncodeInteger(t.GetField("kw"), (i * 7919) % 400, r);
    EncodeDate(t.GetField("dat"), JulianDayFromCivil(2026, 1, 1) + (i * 31) % 365, r);
    EncodeText(t.GetField("tim"), i % 2 ? "08:30" : "14:15", r);
    EncodeInteger(t.GetField("kl"), static_cast<int64_t>(i) * 3 - 1000, r);
    EncodeText(t.GetField("fiol"), i % 5 ? "PETROV " + std::to_string(i % 1000) : "", r);
    body += r;
  }
  t.AppendRecord([&](std::span<char> r) { std::copy(body.begin(), body.begin() + length, r.begin()); });
  // The remaining records go straight to the file, then the header count.
  std::string file = testing::ReadBytes(t.path());
  file.resize(t.layout().RecordOffset(2));
  file += body.substr(length);
  file += kEndOfFile;
  file[4] = static_cast<char>(count & 0xFF);
  file[5] = static_cast<char>((count >> 8) & 0xFF);
  file[6] = static_cast<char>((count >> 16) & 0xFF);
  file[7] = static_cast<char>(count >> 24);
  testing::WriteBytes(t.path(), file);
  return Table::Open(folder, "m2401");
}

TEST(CdxBuild, ManyLevelsCheckCleanAndSeekLikeAScan) {
  TempFolder folder;
  Table t = SlotTable(folder.path(), 20000);
  const std::vector<TagSpec> tags = {{"slot", "DTOC(dat,1)+tim+str(kw,5)"},
                                     {"kl", "kl", "", true},
                                     {"dat", "dat"},
                                     {"fiol", "UPPER(fiol)", ".NOT.DELETED()"},
                                     {"kw", "kw"}};
  CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  EXPECT_TRUE(t.layout().hasStructuralIndex());

  Table again = Table::Open(folder.path(), "m2401");
  EXPECT_TRUE(again.layout().hasStructuralIndex());
  const IndexCheckReport report = CheckTableIndex(again, BasicKeyExpressionCompiler());
  std::string problems;
  for (const auto& p : report.problems) problems += p + "\n";
  EXPECT_TRUE(report.ok()) << problems;
  EXPECT_TRUE(report.notes.empty());
  EXPECT_EQ(report.tagsChecked, 5u);

  CdxFile cdx(SharedFile::Open((folder.path() / "m2401.cdx").string(), SharedFile::Mode::kRead), "m2401");
  const CdxTag* slot = cdx.FindTag("SLOT");
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->keyLength, 18);
  EXPECT_TRUE(cdx.FindTag("kl")->candidate());
  // The slot tree has interior levels.
  EXPECT_FALSE(cdx.ReadNode(slot->rootOffset, slot->keyLength, ' ').isLeaf());

  // Equality seek on the slot key gives exactly the records a scan finds, in record order for equal keys.
  const std::string wanted = "2026020108:30  " + std::to_string((1 * 7919) % 400);
  auto slotKey = BasicKeyExpressionCompiler().Compile(again.layout(), "DTOC(dat,1)+tim+str(kw,5)");
  for (uint32_t probe : {1u, 777u, 19999u}) {
    std::string r;
    ASSERT_TRUE(again.ReadRecord(probe, r));
    const std::string key = slotKey->Evaluate(r).text;
    std::vector<uint32_t> byScan, bySeek;
    TableScanner scan = again.Scan();
    RecordRef rec;
    while (scan.Next(rec))
      if (slotKey->Evaluate(rec.bytes).text == key) byScan.push_back(rec.recno);
    cdx.SeekFrom(*slot, ' ', key, [&](const CdxEntry& e) {
      if (e.key != key) return false;
      bySeek.push_back(e.recno);
      return true;
    });
    EXPECT_EQ(bySeek, byScan) << key;
    EXPECT_FALSE(bySeek.empty());
  }
  // Range on a date tag: every entry from a date on is in order and not before it.
  const std::string from = SortableDoubleKey(static_cast<double>(JulianDayFromCivil(2026, 12, 1)));
  size_t count = 0;
  std::string last;
  cdx.SeekFrom(*cdx.FindTag("dat"), '\0', from, [&](const CdxEntry& e) {
    EXPECT_GE(e.key, from);
    EXPECT_GE(e.key, last);
    last = e.key;
    ++count;
    return true;
  });
  size_t expected = 0;
  TableScanner scan = again.Scan();
  RecordRef rec;
  while (scan.Next(rec))
    expected += DecodeDate(again.GetField("dat"), rec.bytes) >= JulianDayFromCivil(2026, 12, 1);
  EXPECT_EQ(count, expected);

  // The same through the reader the SQL layer uses: equality on the candidate tag and on a character tag.
  IndexReader reader(again, BasicKeyExpressionCompiler());
  ASSERT_EQ(reader.tags().size(), 5u);
  KeyValue kl;
  kl.type = KeyValue::Type::kInteger;
  kl.integer = 777 * 3 - 1000;  // kl of record 778
  EXPECT_EQ(reader.SeekEqual("kl", kl), std::vector<uint32_t>{778});
  KeyValue name;
  name.text = "PETROV 17";  // shorter than the key: padded as VFP compares keys
  std::vector<uint32_t> expectedNames;
  for (uint32_t i = 0; i < 20000; ++i)
    if (i % 5 && i % 1000 == 17) expectedNames.push_back(i + 1);
  EXPECT_EQ(reader.SeekEqual("FIOL", name), expectedNames);
}

std::string Problems(Table& t) {
  const IndexCheckReport report = CheckTableIndex(t, BasicKeyExpressionCompiler());
  std::string all;
  for (const auto& p : report.problems) all += p + "\n";
  for (const auto& n : report.notes) all += "note: " + n + "\n";
  return all;
}

// Updates that move keys within and across nodes, appends that split leaves and interior nodes, deletions
// that leave a FOR tag: after each round every tag holds exactly one correct entry per qualifying record.
TEST(CdxMaintenance, EveryWriteKeepsEveryTagTrue) {
  TempFolder folder;
  {
    Table t = SlotTable(folder.path(), 3000);
    const std::vector<TagSpec> tags = {{"slot", "DTOC(dat,1)+tim+str(kw,5)"},
                                       {"kl", "kl", "", true},
                                       {"dat", "dat"},
                                       {"fiol", "UPPER(fiol)", ".NOT.DELETED()"}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  Table t = Table::Open(folder.path(), "m2401");
  ASSERT_TRUE(t.writable());
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  int32_t nextKl = 1'000'000;
  for (int round = 0; round < 6; ++round) {
    std::vector<uint32_t> recnos;
    for (int i = 0; i < 40; ++i) recnos.push_back(1 + next() % t.recordCount());
    t.UpdateRecords(recnos, [&](uint32_t recno, std::string_view, std::span<char> r) {
      EncodeInteger(t.GetField("kw"), next() % 400, r);
      EncodeDate(t.GetField("dat"), JulianDayFromCivil(2025, 1, 1) + next() % 900, r);
      EncodeText(t.GetField("fiol"), "SIDOROV " + std::to_string(next() % 50), r);
      EncodeInteger(t.GetField("kl"), nextKl++, r);
      return true;
    });
    for (int i = 0; i < 400; ++i)
      t.AppendRecord([&](std::span<char> r) {
        EncodeInteger(t.GetField("kw"), next() % 400, r);
        EncodeDate(t.GetField("dat"), JulianDayFromCivil(2026, 6, 1) + next() % 30, r);
        EncodeText(t.GetField("tim"), "10:00", r);
        EncodeInteger(t.GetField("kl"), nextKl++, r);
        EncodeText(t.GetField("fiol"), std::string(1, static_cast<char>('A' + next() % 26)) + "NEW", r);
      });
    for (int i = 0; i < 30; ++i) t.SetDeleted(1 + next() % t.recordCount(), next() % 2 == 0);
    ASSERT_EQ(Problems(t), "") << "round " << round;
  }
  CdxFile cdx(SharedFile::Open((folder.path() / "m2401.cdx").string(), SharedFile::Mode::kRead), "m2401");
  EXPECT_GT(cdx.ChangeCounter(), 0u);
  const CdxTag* kl = cdx.FindTag("KL");
  // The integer tag went from one interior level to more as appends split its nodes.
  CdxNode root = cdx.ReadNode(kl->rootOffset, kl->keyLength, '\0');
  EXPECT_FALSE(root.isLeaf());
}

TEST(CdxMaintenance, CandidateViolationChangesNothing) {
  TempFolder folder;
  {
    Table t = SlotTable(folder.path(), 200);
    const std::vector<TagSpec> tags = {{"kl", "kl", "", true}, {"slot", "DTOC(dat,1)+tim+str(kw,5)"}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  Table t = Table::Open(folder.path(), "m2401");
  const std::string dbf = testing::ReadBytes(t.path()), cdx = testing::ReadBytes(folder.path() / "m2401.cdx");
  const uint32_t two[] = {5, 9};
  // Record 9 takes record 5's old KL while record 5 moves on: allowed. Record 9 taking record 20's: refused.
  EXPECT_THROW(t.UpdateRecords(two,
                               [&](uint32_t recno, std::string_view, std::span<char> r) {
                                 EncodeInteger(t.GetField("kl"), recno == 9 ? 20 * 3 - 1003 : 5, r);
                                 return true;
                               }),
               FieldValueError);
  EXPECT_EQ(testing::ReadBytes(t.path()), dbf);
  EXPECT_EQ(testing::ReadBytes(folder.path() / "m2401.cdx"), cdx);
  EXPECT_THROW(t.AppendRecord([&](std::span<char> r) { EncodeInteger(t.GetField("kl"), 5 * 3 - 1003, r); }),
               FieldValueError);
  EXPECT_EQ(testing::ReadBytes(t.path()), dbf);
  t.UpdateRecords(two, [&](uint32_t recno, std::string_view, std::span<char> r) {
    EncodeInteger(t.GetField("kl"), recno == 9 ? 5 * 3 - 1003 : 777777, r);
    return true;
  });
  EXPECT_EQ(Problems(t), "");
}

TEST(CdxMaintenance, UnsupportedTagMakesWritesFailNamingIt) {
  TempFolder folder;
  {
    Table t = SlotTable(folder.path(), 20);
    const std::vector<TagSpec> tags = {{"kw", "kw"}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  // Rewrite the key expression text in the tag header to one this program cannot evaluate.
  std::string cdx = testing::ReadBytes(folder.path() / "m2401.cdx");
  const size_t at = cdx.find("kw\0", 0x600 + 512);
  ASSERT_NE(at, std::string::npos);
  cdx.replace(at, 2, "QQ");
  testing::WriteBytes(folder.path() / "m2401.cdx", cdx);
  Table t = Table::Open(folder.path(), "m2401");
  const std::string before = testing::ReadBytes(t.path());
  try {
    t.SetDeleted(1);
    ADD_FAILURE();
  } catch (const IndexedTableWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("tag KW (QQ)"), std::string::npos) << e.what();
  }
  EXPECT_EQ(testing::ReadBytes(t.path()), before);
  std::string r;
  EXPECT_TRUE(t.ReadRecord(1, r));
}

// VFP writes some datetime keys one unit in the last place lower than the plain formula; such an entry is
// still found, replaced and accepted by the check.
TEST(CdxMaintenance, DatetimeKeysOneUnitLowerAreFound) {
  TempFolder folder;
  const std::vector<FieldSpec> specs = {{"dt_zap", FieldType::kDateTime}};
  {
    Table t = Table::Create(folder.path(), "visits", specs);
    for (int i = 0; i < 3; ++i)
      t.AppendRecord([&](std::span<char> r) {
        EncodeDateTime(t.GetField("dt_zap"),
                       DateTimeValue{JulianDayFromCivil(2026, 12, 8), (i + 1) * 3600000}, r);
      });
    const std::vector<TagSpec> tags = {{"dt_zap", "dt_zap"}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  {
    CdxFile cdx(SharedFile::Open((folder.path() / "visits.cdx").string(), SharedFile::Mode::kReadWrite),
                "visits");
    CdxTag tag = *cdx.FindTag("DT_ZAP");
    CdxEntry plain;
    cdx.ForEachEntry(tag, '\0', [&](const CdxEntry& e) {
      plain = e;
      return e.recno != 2;
    });
    CdxEntry lower = plain;
    for (size_t i = 8; i-- > 0;)
      if (lower.key[i]-- != '\0') break;
    CdxWriter writer(cdx);
    writer.Remove(tag, '\0', plain);
    writer.Insert(tag, '\0', lower);
  }
  Table t = Table::Open(folder.path(), "visits");
  EXPECT_EQ(Problems(t), "");
  EXPECT_TRUE(t.UpdateRecord(2, [&](uint32_t, std::string_view, std::span<char> r) {
    EncodeDateTime(t.GetField("dt_zap"), DateTimeValue{JulianDayFromCivil(2026, 12, 9), 0}, r);
    return true;
  }));
  EXPECT_EQ(Problems(t), "");
}

TEST(CdxBuild, RefusesDuplicateCandidatesAndUnknownExpressions) {
  TempFolder folder;
  Table t = SlotTable(folder.path(), 50);
  const std::vector<TagSpec> duplicate = {{"kw", "tim", "", true}};
  const std::vector<TagSpec> unknown = {{"x", "SOUNDEX(fiol)"}};
  for (const auto* tags : {&duplicate, &unknown}) {
    try {
      CreateStructuralIndex(t, *tags, BasicKeyExpressionCompiler());
      ADD_FAILURE();
    } catch (const FieldValueError& e) {
      EXPECT_NE(std::string(e.what()).find(tags->front().name == "kw" ? "Uniqueness of index KW" : "Tag X"),
                std::string::npos)
          << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "m2401.cdx"));
    EXPECT_FALSE(Table::Open(folder.path(), "m2401").layout().hasStructuralIndex());
  }
}

// Tags over nullable fields carry the NULL prefix byte (NULL keys are all zero and sort first); a FOR clause
// that is .NULL. for a record leaves the record out, as a false one does.
TEST(CdxBuild, NullableFieldsGiveNullableTagsAndNullForClausesExclude) {
  TempFolder folder;
  std::vector<FieldSpec> specs = {
      {"id", FieldType::kNumeric, 5}, {"amount", FieldType::kNumeric, 6}, {"act", FieldType::kLogical}};
  specs[1].nullable = specs[2].nullable = true;
  Table t = Table::Create(folder.path(), "pay", specs);
  for (int i = 1; i <= 6; ++i)
    t.AppendRecord([&](std::span<char> r) {
      EncodeInteger(t.GetField("id"), i, r);
      if (i % 3 == 0) {
        EncodeNull(t.GetField("amount"), r);
      } else {
        EncodeInteger(t.GetField("amount"), 10 - i, r);
      }
      if (i % 2 == 0) {
        EncodeNull(t.GetField("act"), r);
      } else {
        EncodeLogical(t.GetField("act"), i != 5, r);
      }
    });
  const std::vector<TagSpec> tags = {{"amount", "amount", "", false, ""}, {"active", "id", "act", false, ""}};
  CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  CdxFile cdx(SharedFile::Open((folder.path() / "pay.cdx").string(), SharedFile::Mode::kRead), "pay");
  const CdxTag* amount = cdx.FindTag("AMOUNT");
  ASSERT_NE(amount, nullptr);
  EXPECT_TRUE(amount->nullable());
  EXPECT_EQ(amount->keyLength, 9);
  EXPECT_FALSE(cdx.FindTag("ACTIVE")->nullable());
  const std::string bytes = testing::ReadBytes(folder.path() / "pay.cdx");
  const vorel::testing::WalkedTag byAmount = vorel::testing::WalkTag(bytes, "AMOUNT", '\0');
  ASSERT_EQ(byAmount.entries.size(), 6u);
  // NULLs (records 3 and 6) first, then amounts 9, 8, 6, 5 = records 1, 2, 4, 5 in descending order of id.
  std::vector<uint32_t> order;
  for (const auto& e : byAmount.entries) order.push_back(e.second);
  EXPECT_EQ(order, (std::vector<uint32_t>{3, 6, 5, 4, 2, 1}));
  EXPECT_EQ(byAmount.entries[0].first, std::string(9, '\0'));
  EXPECT_EQ(static_cast<unsigned char>(byAmount.entries[2].first[0]), 0x80u);
  // Only records whose act is .T. (1 and 3) are in the FOR tag.
  std::vector<uint32_t> active;
  for (const auto& e : vorel::testing::WalkTag(bytes, "ACTIVE", '\0').entries) active.push_back(e.second);
  EXPECT_EQ(active, (std::vector<uint32_t>{1, 3}));
  // Record 1 turns .NULL.: it leaves the FOR tag; record 2 gets an amount: its key leaves the NULLs.
  Table again = Table::Open(folder.path(), "pay");
  const uint32_t two[] = {1, 3};
  again.UpdateRecords(two, [&](uint32_t recno, std::string_view, std::span<char> r) {
    if (recno == 1) EncodeNull(again.GetField("act"), r);
    if (recno == 3) EncodeInteger(again.GetField("amount"), 1, r);
    return true;
  });
  EXPECT_EQ(Problems(again), "");
  active.clear();
  for (const auto& e :
       vorel::testing::WalkTag(testing::ReadBytes(folder.path() / "pay.cdx"), "ACTIVE", '\0').entries)
    active.push_back(e.second);
  EXPECT_EQ(active, (std::vector<uint32_t>{3}));
}

// Tags whose keys this program does not keep (UNIQUE tags, GENERAL collation, RUSSIAN collation over 866
// text): writes fail naming the tag
// and write nothing; reading and seeking stay possible.
TEST(CdxMaintenance, UniqueAndGeneralTagsRefuseWritesNamingTheTag) {
  for (const char* change : {"unique", "general", "russian866"}) {
    TempFolder folder;
    {
      Table t = SlotTable(folder.path(), 20);
      const std::vector<TagSpec> tags = {{"fiol", "fiol", "", false, ""}};
      CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
    }
    std::string cdx = testing::ReadBytes(folder.path() / "m2401.cdx");
    if (std::string(change) == "unique") {
      cdx[0x600 + 14] = static_cast<char>(cdx[0x600 + 14] | kTagUnique);
    } else {
      cdx.replace(0x600 + 494, 7, std::string(change) == "general" ? "GENERAL" : "RUSSIAN");
      cdx[0x600 + 15] = 2;
    }
    testing::WriteBytes(folder.path() / "m2401.cdx", cdx);
    if (std::string(change) == "russian866") {
      // The same RUSSIAN tag on a table whose text is stored in code page 866.
      std::string dbf = testing::ReadBytes(folder.path() / "m2401.dbf");
      dbf[29] = static_cast<char>(kCodePage866);
      testing::WriteBytes(folder.path() / "m2401.dbf", dbf);
    }
    Table t = Table::Open(folder.path(), "m2401");
    const std::string before = testing::ReadBytes(t.path());
    try {
      t.SetDeleted(1);
      ADD_FAILURE() << change;
    } catch (const IndexedTableWriteError& e) {
      EXPECT_NE(std::string(e.what()).find("tag FIOL"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testing::ReadBytes(t.path()), before);
    EXPECT_EQ(testing::ReadBytes(folder.path() / "m2401.cdx"), cdx);
    std::string r;
    EXPECT_TRUE(t.ReadRecord(1, r));
  }
}

// Pages emptied by removals go on the free list of the file header, and later inserts take them again
// before the file grows: deleting records drops them from a FOR tag, recalling them brings them back, and
// moving keys back and forth does not grow the file past the first move.
TEST(CdxMaintenance, EmptiedPagesAreFreedAndReused) {
  TempFolder folder;
  {
    Table t = SlotTable(folder.path(), 3000);
    const std::vector<TagSpec> tags = {{"kl", "kl", "", true, ""},
                                       {"live", "kl", ".NOT.DELETED()", false, ""}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  Table t = Table::Open(folder.path(), "m2401");
  const auto cdxPath = folder.path() / "m2401.cdx";
  // The free pages, after checking that each is a whole page outside every tree and listed once.
  auto freePages = [&] {
    const std::string bytes = testing::ReadBytes(cdxPath);
    std::set<uint32_t> inTrees;
    for (const char* tag : {"KL", "LIVE"}) {
      const vorel::testing::WalkedTag w = vorel::testing::WalkTag(bytes, tag, '\0');
      EXPECT_EQ(w.problems, "") << tag;
      inTrees.insert(w.pages.begin(), w.pages.end());
    }
    std::set<uint32_t> free;
    for (uint32_t p = LoadLe32(&bytes[4]); p != 0 && p != kCdxNoPage; p = LoadLe32(&bytes[p])) {
      EXPECT_EQ(p % kCdxPageSize, 0u);
      if (p >= bytes.size() || !free.insert(p).second) {
        ADD_FAILURE() << "free list broken at " << p;
        break;
      }
      EXPECT_EQ(inTrees.count(p), 0u) << "page " << p << " is free and in use";
    }
    return free;
  };
  std::vector<uint32_t> first;
  for (uint32_t r = 1; r <= 1500; ++r) first.push_back(r);
  auto setDeleted = [&](bool deleted) {
    t.UpdateRecords(first, [&](uint32_t, std::string_view, std::span<char> r) {
      r[0] = deleted ? kRecordDeleted : ' ';
      return true;
    });
  };
  uintmax_t sizeAfterFirstCycle = 0;
  for (int cycle = 0; cycle < 3; ++cycle) {
    setDeleted(true);
    ASSERT_EQ(Problems(t), "");
    EXPECT_GT(freePages().size(), 5u);
    setDeleted(false);
    ASSERT_EQ(Problems(t), "");
    EXPECT_LE(freePages().size(), 1u);
    const uintmax_t size = std::filesystem::file_size(cdxPath);
    if (cycle == 0) sizeAfterFirstCycle = size;
    EXPECT_EQ(size, sizeAfterFirstCycle) << "cycle " << cycle;
  }

  uintmax_t sizeAfterFirstMove = 0;
  for (int round = 0; round < 4; ++round) {
    // Records 1..1500 hold the lowest KL values; move them past the highest, then back.
    t.UpdateRecords(first, [&](uint32_t recno, std::string_view, std::span<char> r) {
      const int64_t base = static_cast<int64_t>(recno - 1) * 3 - 1000;
      EncodeInteger(t.GetField("kl"), round % 2 == 0 ? base + 100'000'000 : base, r);
      return true;
    });
    ASSERT_EQ(Problems(t), "") << "round " << round;
    freePages();
    const uintmax_t size = std::filesystem::file_size(cdxPath);
    if (round == 1) sizeAfterFirstMove = size;
    if (round > 1) {
      EXPECT_EQ(size, sizeAfterFirstMove) << "round " << round;
    }
  }
}

// The check follows the free-page list: a page in use on it, a loop, or an offset that is no page.
TEST(CdxCheckFreeList, FindsBrokenFreeLists) {
  TempFolder folder;
  {
    Table t = SlotTable(folder.path(), 500);
    const std::vector<TagSpec> tags = {{"kl", "kl", "", true, ""}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  const auto cdxPath = folder.path() / "m2401.cdx";
  const std::string original = testing::ReadBytes(cdxPath);
  Table t = Table::Open(folder.path(), "m2401");
  EXPECT_EQ(Problems(t), "");
  const uint32_t root = LoadLe32(&original[0x600]);
  const uint32_t spare = static_cast<uint32_t>(original.size());
  struct Case {
    uint32_t head;
    uint32_t spareNext;
    const char* problem;
  };
  for (const Case& c : {Case{root, 0, "in use and on the free list"}, Case{spare, spare, "loop"},
                        Case{spare + 7, 0, "not a page"}, Case{spare, 0, ""}}) {
    std::string bytes = original + std::string(kCdxPageSize, '\0');
    StoreLe32(&bytes[4], c.head);
    StoreLe32(&bytes[spare], c.spareNext);
    testing::WriteBytes(cdxPath, bytes);
    const std::string problems = Problems(t);
    if (*c.problem == '\0') {
      EXPECT_EQ(problems, "");
    } else {
      EXPECT_NE(problems.find(c.problem), std::string::npos) << problems;
    }
  }
}

// RUSSIAN tags store one primary weight per character: letter case is one key, Ё sorts between Е and Ж,
// Latin letters before Cyrillic ones, trailing blanks are dropped and the rest of the key is zero.
TEST(CdxBuild, RussianTagKeysFollowTheCollation) {
  TempFolder folder;
  Table t = SlotTable(folder.path(), 8);
  const char* names[] = {"\xC5\xEB\xEA\xE0",
                         "\xA8\xEB\xEA\xE0",
                         "\xB8\xCB\xCA\xC0",
                         "\xC6\xE0\xF0",
                         "Zebra",
                         "zebra",
                         "\xE5\xEB\xEA\xE0",
                         "abc"};  // Елка Ёлка ёЛКА Жар Zebra zebra елка abc
  std::vector<uint32_t> all;
  for (uint32_t r = 1; r <= 8; ++r) all.push_back(r);
  t.UpdateRecords(all, [&](uint32_t recno, std::string_view, std::span<char> r) {
    EncodeText(t.GetField("fiol"), names[recno - 1], r);
    return true;
  });
  const std::vector<TagSpec> tags = {{"fiol", "fiol", "", false, "RUSSIAN"}};
  CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  const vorel::testing::WalkedTag w =
      vorel::testing::WalkTag(testing::ReadBytes(folder.path() / "m2401.cdx"), "FIOL", '\0');
  ASSERT_EQ(w.problems, "");
  std::vector<uint32_t> order;
  for (const auto& [key, recno] : w.entries) {
    EXPECT_EQ(key.size(), 40u);  // twice the field width
    order.push_back(recno);
  }
  // abc, Zebra, zebra, Елка, елка, Ёлка, ёЛКА, Жар.
  EXPECT_EQ(order, (std::vector<uint32_t>{8, 5, 6, 1, 7, 2, 3, 4}));
  EXPECT_EQ(w.entries[1].first, w.entries[2].first);  // Zebra and zebra
  EXPECT_EQ(w.entries[5].first, w.entries[6].first);  // Ёлка and ёЛКА
  EXPECT_EQ(w.entries[0].first.substr(3), std::string(37, '\0'));
  // Maintenance keeps the collated keys: the check agrees after renames.
  Table again = Table::Open(folder.path(), "m2401");
  const uint32_t two[] = {1, 4};
  again.UpdateRecords(two, [&](uint32_t recno, std::string_view, std::span<char> r) {
    EncodeText(again.GetField("fiol"), recno == 1 ? "\xC0\xE1\xE2" : "yak", r);
    return true;
  });
  EXPECT_EQ(Problems(again), "");
}

}  // namespace
}  // namespace vorel::dbf
