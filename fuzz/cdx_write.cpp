// Fuzzes the index maintenance of a write: the input is the image of the structural index of a small table
// (40 records, tags on kw and fiol). An UPDATE that moves one record's key must change that record and no
// other byte of the table, or fail and leave the table as it was: a hostile index may make the statement
// fail or miss its record, never damage the table.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "database/run_query.h"
#include "dbf/cdx_build.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"
#include "platform/clock.h"

using namespace vorel;

namespace {

class SilentLogger final : public Logger {
 public:
  void Log(std::string_view, std::string_view) override {}
  void SetError(int32_t, std::string_view) override {}
};

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteWhole(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<long>(bytes.size()));
}

constexpr const char* kUpdate = "update t set fiol='moved' where kw=7";

struct World {
  std::filesystem::path folder;
  std::string table, index, updated;  // the table before and after kUpdate, and its index
  SilentLogger log;
  SystemClock clock;
  RegionalSettings regional;
  Connection ado;
  Query sql{ado, clock, regional};
  DatabaseContext ctx{ado, sql, log, clock, regional};

  World() {
    // In memory where the system has it: each run rewrites the files, and writes flush them.
    const std::filesystem::path memory = "/dev/shm";
    folder = (std::filesystem::is_directory(memory) ? memory : std::filesystem::temp_directory_path()) /
             ("vorel_fuzz_cdx_write_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    ado.SetConnectionString("Data Source=" + folder.string());
    ado.Connect();
    ExecuteStatement(ctx, "create table t (kw n(5), fiol c(10))");
    for (int kw = 0; kw < 40; ++kw)
      ExecuteStatement(ctx, "insert into t (kw, fiol) values (" + std::to_string(kw) + ", 'p" +
                                std::to_string(kw * 37 % 40) + "')");
    {
      dbf::Table t = dbf::Table::Open(folder, "t");
      const std::vector<dbf::TagSpec> tags = {{"kw", "kw"}, {"fiol", "fiol"}};
      dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
    }
    table = ReadWhole(folder / "t.dbf");
    index = ReadWhole(folder / "t.cdx");
    if (ExecuteStatement(ctx, kUpdate) != 1) std::abort();
    updated = ReadWhole(folder / "t.dbf");
    if (std::getenv("VOREL_FUZZ_WRITE_SEED")) WriteWhole(std::getenv("VOREL_FUZZ_WRITE_SEED"), index);
  }
  ~World() { std::filesystem::remove_all(folder); }
};

// The table's bytes without the date of its last update (header bytes 1-3), which any write sets.
std::string WithoutDate(std::string bytes) {
  if (bytes.size() >= 4) bytes.replace(1, 3, 3, '\0');
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World w;
  for (const auto& entry : std::filesystem::directory_iterator(w.folder))
    std::filesystem::remove(entry.path());
  WriteWhole(w.folder / "t.dbf", w.table);
  WriteWhole(w.folder / "t.cdx", std::string_view(reinterpret_cast<const char*>(data), size));
  int64_t changed = -1;
  try {
    w.ado.Connect();
    changed = ExecuteStatement(w.ctx, kUpdate);
  } catch (const Error&) {
  }
  w.sql.Close();
  const std::string after = WithoutDate(ReadWhole(w.folder / "t.dbf"));
  // Changed: exactly the one record. Failed or missed (the index did not lead to it): nothing.
  if (after != WithoutDate(changed == 1 ? w.updated : w.table)) std::abort();
  return 0;
}
