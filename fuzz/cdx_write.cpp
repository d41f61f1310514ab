// Fuzzes the index maintenance of a write: the input is the image of the structural index of a small table
// (40 records, tags on kw and fiol). An UPDATE that moves one record's key must change that record and no
// other byte of the table, or fail and leave the table as it was: a hostile index may make the statement
// fail or miss its record, never damage the table.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/run_query.h"
#include "dbf/cdx_build.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"
#include "fuzz_support.h"

using namespace vorel;
using namespace vorel::fuzz;

namespace {

constexpr const char* kUpdate = "update t set fiol='moved' where kw=7";

struct World {
  ScratchFolder folder{"cdx_write"};
  std::string table, index, updated;  // the table before and after kUpdate, and its index
  FolderDatabase db{folder.path()};

  World() {
    db.ado.Connect();
    ExecuteStatement(db.ctx, "create table t (kw n(5), fiol c(10))");
    for (int kw = 0; kw < 40; ++kw)
      ExecuteStatement(db.ctx, "insert into t (kw, fiol) values (" + std::to_string(kw) + ", 'p" +
                                   std::to_string(kw * 37 % 40) + "')");
    {
      dbf::Table t = dbf::Table::Open(folder.path(), "t");
      const std::vector<dbf::TagSpec> tags = {{"kw", "kw"}, {"fiol", "fiol"}};
      dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
    }
    table = ReadWhole(folder.path() / "t.dbf");
    index = ReadWhole(folder.path() / "t.cdx");
    if (ExecuteStatement(db.ctx, kUpdate) != 1) std::abort();
    updated = ReadWhole(folder.path() / "t.dbf");
    if (std::getenv("VOREL_FUZZ_WRITE_SEED")) WriteWhole(std::getenv("VOREL_FUZZ_WRITE_SEED"), index);
  }
};

// The table's bytes without the date of its last update (header bytes 1-3), which any write sets.
std::string WithoutDate(std::string bytes) {
  if (bytes.size() >= 4) bytes.replace(1, 3, 3, '\0');
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World w;
  w.folder.Clear();
  WriteWhole(w.folder.path() / "t.dbf", w.table);
  WriteWhole(w.folder.path() / "t.cdx", std::string_view(reinterpret_cast<const char*>(data), size));
  int64_t changed = -1;
  try {
    w.db.ado.Connect();
    changed = ExecuteStatement(w.db.ctx, kUpdate);
  } catch (const Error&) {
  }
  w.db.sql.Close();
  const std::string after = WithoutDate(ReadWhole(w.folder.path() / "t.dbf"));
  // Changed: exactly the one record. Failed or missed (the index did not lead to it): nothing.
  if (after != WithoutDate(changed == 1 ? w.updated : w.table)) std::abort();
  return 0;
}
