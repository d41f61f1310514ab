// Fuzzes the execution of statements over a small table whose stored bytes are hostile: the input, cut at its
// first 0x01 byte, gives the records (raw bytes, any number of whole records) and a statement. A SELECT is
// rendered as Table XML, as the exports are; any other statement is executed. Every input must give rows, a
// count or a clean error, and a write must leave a table that opens again.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/run_query.h"
#include "database/table_xml.h"
#include "dbf/table.h"
#include "fuzz_support.h"
#include "platform/code_page.h"
#include "sql/statement_runners.h"

using namespace vorel;
using namespace vorel::fuzz;

namespace {

dbf::FieldSpec Spec(const char* name, dbf::FieldType type, int length = 0, int decimals = 0) {
  dbf::FieldSpec s;
  s.name = name;
  s.type = type;
  s.length = static_cast<uint8_t>(length);
  s.decimals = static_cast<uint8_t>(decimals);
  return s;
}

// A table t of every kind of field the clinic's tables use, with two records and their memo values: its
// header and memo file are the template of each run.
struct World {
  ScratchFolder folder{"sql"};
  std::string header, memo;
  uint16_t recordLength = 0;
  FolderDatabase db{folder.path()};

  World() {
    using FT = dbf::FieldType;
    const std::vector<dbf::FieldSpec> fields = {
        Spec("fiol", FT::kCharacter, 10), Spec("kw", FT::kNumeric, 8, 2), Spec("dat", FT::kDate),
        Spec("ok", FT::kLogical),         Spec("note", FT::kMemo),        Spec("kl", FT::kInteger),
        Spec("dt_zap", FT::kDateTime)};
    {
      dbf::Table t = dbf::Table::Create(folder.path(), "t", fields);
      for (const char* note : {"first", "second value"}) {
        t.AppendRecord([&](std::span<char> record) {
          sql::StoreValue(t, t.fields()[4], sql::Value::Text(note), record);
        });
      }
      header = ReadWhole(folder.path() / "t.dbf").substr(0, t.layout().headerLength);
      recordLength = t.layout().recordLength;
    }
    memo = ReadWhole(folder.path() / "t.fpt");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World w;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\x01');
  const std::string_view records = input.substr(0, cut);
  std::string statement(cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1));
  if (statement.empty()) statement = "select * from t";

  const size_t count = std::min<size_t>(records.size() / w.recordLength, 16);
  std::string file = w.header;
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
  file.append(records.substr(0, count * w.recordLength));
  file.push_back('\x1A');
  w.folder.Clear();
  WriteWhole(w.folder.path() / "t.dbf", file);
  WriteWhole(w.folder.path() / "t.fpt", w.memo);

  try {
    w.db.ado.Connect();
    if (ToLowerAnsi(statement.substr(0, 6)) == "select") {
      (void)RenderTableXml(w.db.ctx, "t", statement);
    } else {
      (void)ExecuteStatement(w.db.ctx, statement);
      (void)dbf::Table::Open(w.folder.path(), "t");
    }
  } catch (const Error&) {
  }
  w.db.sql.Close();
  return 0;
}
