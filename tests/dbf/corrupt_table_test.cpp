#include <gtest/gtest.h>

#include <functional>

#include "dbf/byte_order.h"
#include "dbf/table.h"
#include "dbf_test_support.h"

namespace vorel::dbf {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A small valid table with a memo: fields KW N(5), FIOL C(10), NOTE M; two records.
class CorruptTable : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<FieldSpec> specs = {
        {"kw", FieldType::kNumeric, 5}, {"fiol", FieldType::kCharacter, 10}, {"note", FieldType::kMemo}};
    Table t = Table::Create(folder.path(), "t", specs);
    for (int i = 0; i < 2; ++i)
      t.AppendRecord([&](std::span<char> r) { t.WriteMemo(t.GetField("note"), "memo value", r); });
    dbf = ReadBytes(folder.path() / "t.dbf");
    headerLength = LoadLe16(&dbf[8]);
  }

  // Writes the changed table bytes and expects opening (and reading every value) to fail with a message
  // that contains `words`.
  void ExpectCorrupt(const std::string& bytes, const std::string& words) {
    WriteBytes(folder.path() / "t.dbf", bytes);
    try {
      Table t = Table::Open(folder.path(), "t");
      TableScanner scan = t.Scan();
      RecordRef rec;
      while (scan.Next(rec)) t.ReadMemo(t.GetField("note"), rec.bytes);
      ADD_FAILURE() << "no error for: " << words;
    } catch (const CorruptTableError& e) {
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("t "), std::string::npos) << "the message names the table";
    }
  }

  TempFolder folder;
  std::string dbf;
  size_t headerLength = 0;
};

TEST_F(CorruptTable, HeaderProblems) {
  ExpectCorrupt(dbf.substr(0, 20), "header is truncated");
  ExpectCorrupt(dbf.substr(0, headerLength - 10), "header is truncated");
  std::string bytes = dbf;
  bytes[0] = 0x7B;
  ExpectCorrupt(bytes, "unknown table version");
  bytes = dbf;
  StoreLe16(&bytes[8], 40);  // header ends inside the first descriptor
  ExpectCorrupt(bytes, "overrun the header");
  bytes = dbf;
  bytes[32 + 32 + 11] = 'X';
  ExpectCorrupt(bytes, "unknown type");
  bytes = dbf;
  StoreLe16(&bytes[10], static_cast<uint16_t>(LoadLe16(&bytes[10]) + 3));
  ExpectCorrupt(bytes, "disagrees with the fields");
  bytes = dbf;
  bytes[32 + 16] = 0;  // KW of width 0
  ExpectCorrupt(bytes, "length 0");
  bytes = dbf;
  bytes[32 + 64 + 16] = 9;  // memo pointer of 9 bytes
  ExpectCorrupt(bytes, "has length 9");
  bytes = dbf;
  bytes[32 + 3 * 32] = 'A';  // terminator overwritten: the zero backlink area reads as a descriptor
  ExpectCorrupt(bytes, "unknown type 0x00");
  bytes = dbf;
  StoreLe16(&bytes[8], 32 + 3 * 32 + 8);  // and with no room for one
  bytes[32 + 3 * 32] = 'A';
  ExpectCorrupt(bytes, "overrun the header");
}

TEST_F(CorruptTable, RecordCountMustMatchTheFile) {
  std::string bytes = dbf;
  StoreLe32(&bytes[4], 1000);
  ExpectCorrupt(bytes, "counts 1000 records but the file holds 2");
  // One byte missing from the last record.
  ExpectCorrupt(dbf.substr(0, dbf.size() - 2), "counts 2 records but the file holds 1");
}

TEST_F(CorruptTable, MemoPointersAndLengthsPastTheEnd) {
  std::string bytes = dbf;
  Table t = Table::Open(folder.path(), "t");
  const Field& note = t.GetField("note");
  const size_t at = headerLength + note.offset;
  StoreLe32(&bytes[at], 99999);
  ExpectCorrupt(bytes, "past the end");

  // A block whose length field claims more bytes than the file has.
  std::string fpt = ReadBytes(folder.path() / "t.fpt");
  StoreBe32(&fpt[512 + 4], 0x7FFFFFFF);
  WriteBytes(folder.path() / "t.fpt", fpt);
  ExpectCorrupt(dbf, "past the end");
  // A block claiming 300 MB that the (sparse) file does hold is refused, not read whole.
  StoreBe32(&fpt[512 + 4], 300u << 20);
  WriteBytes(folder.path() / "t.fpt", fpt);
  std::filesystem::resize_file(folder.path() / "t.fpt", (301u << 20));
  ExpectCorrupt(dbf, "more than the limit of 64 MB");
  StoreBe16(&fpt[6], 0);
  WriteBytes(folder.path() / "t.fpt", fpt);
  ExpectCorrupt(dbf, "block size 0");
}

TEST_F(CorruptTable, MissingMemoFileFailsOnlyTheMemoRead) {
  std::filesystem::remove(folder.path() / "t.fpt");
  Table t = Table::Open(folder.path(), "t");
  std::string r;
  ASSERT_TRUE(t.ReadRecord(1, r));
  EXPECT_EQ(DecodeText(t.GetField("fiol"), r), "          ");
  try {
    t.ReadMemo(t.GetField("note"), r);
    ADD_FAILURE();
  } catch (const TableFileError& e) {
    EXPECT_NE(std::string(e.what()).find("t.fpt is missing"), std::string::npos) << e.what();
  }
}

// Every single-byte damage to the header and descriptors is either read or refused cleanly.
TEST_F(CorruptTable, NoByteOfTheHeaderCrashesTheReader) {
  for (size_t i = 0; i < 32 + 3 * 32 + 1; ++i) {
    for (int value : {0x00, 0x0D, 0x7F, 0xFF}) {
      std::string bytes = dbf;
      bytes[i] = static_cast<char>(value);
      WriteBytes(folder.path() / "t.dbf", bytes);
      try {
        Table t = Table::Open(folder.path(), "t");
        TableScanner scan = t.Scan();
        RecordRef rec;
        while (scan.Next(rec))
          for (const Field& f : t.fields()) {
            if (f.isText()) DecodeText(f, rec.bytes);
            if (f.isMemo()) t.ReadMemo(f, rec.bytes);
          }
      } catch (const Error&) {
      }
    }
  }
}

}  // namespace
}  // namespace vorel::dbf
