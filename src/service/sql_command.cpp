#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "database/connection.h"
#include "database/query.h"
#include "database/table_xml.h"
#include "exchange/main_loop.h"
#include "platform/code_page.h"
#include "service/operator_commands.h"

// vorel_service sql: one statement against a table folder, for the operator. Unlike the portal's adm_sql,
// whose answer is Table XML whatever happened, it tells the truth through its exit status: the engine's
// own reason on standard error and 1 for a failure, the count of changed records for a write.
namespace vorel {
namespace {

int Usage() {
  std::fputs(
      "usage: vorel_service sql [--raw] --path DIR STATEMENT\n"
      "  Runs STATEMENT against the tables in DIR. A query prints its Table XML (table name \"sql\"), any\n"
      "  other statement the number of records it changed. The statement and the output are UTF-8, or\n"
      "  Windows-1251 bytes as they are with --raw. A failed statement prints its reason and exits 1.\n",
      stderr);
  return 2;
}

std::string ChangedText(int64_t count) {
  return std::to_string(count) + (count == 1 ? " record changed\n" : " records changed\n");
}

}  // namespace

int RunSqlCommand(int argc, char** argv) {
  bool raw = false;
  std::string path;
  std::string statement;
  bool haveStatement = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--raw") == 0) {
      raw = true;
    } else if (std::strcmp(argv[i], "--path") == 0 && i + 1 < argc) {
      path = argv[++i];
    } else if (!haveStatement && argv[i][0] != '-') {
      statement = argv[i];
      haveStatement = true;
    } else {
      return Usage();
    }
  }
  if (path.empty() || !haveStatement) return Usage();
  try {
    SystemClock clock;
    const RegionalSettings regional = SystemRegionalSettings();
    Connection ADO;
    // The connection takes the folder as the state store holds it, in Windows-1251.
    const std::optional<std::string> folder = Utf8ToAnsiExact(path);
    if (!folder) throw Error("the path holds characters that Windows-1251 cannot hold");
    ADO.SetConnectionString(ConnectionString(*folder));
    ADO.Connect();
    Query SQL(ADO, clock, regional);
    SQL.Lines().push_back(raw ? statement : Utf8ToAnsi(statement));
    std::string out;
    if (const auto changed = SQL.Run()) {
      out = ChangedText(*changed);
    } else {
      out = RenderResultXml(SQL, "sql", regional);
      if (!raw) out = AnsiToUtf8(out);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) throw Error("cannot write the output");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vorel_service sql: %s\n", raw ? e.what() : AnsiToUtf8(e.what()).c_str());
    return 1;
  }
}

}  // namespace vorel
