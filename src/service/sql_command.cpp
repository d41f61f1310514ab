#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "database/database_context.h"
#include "database/table_xml.h"
#include "platform/code_page.h"
#include "service/operator_commands.h"

namespace vorel {
namespace {

// Log lines of the run go to the operator's terminal, beside the table on standard output.
class TerminalLogger final : public Logger {
 public:
  explicit TerminalLogger(bool raw) : raw_(raw) {}
  void Log(std::string_view channel, std::string_view message) override {
    std::string text = raw_ ? std::string(message) : AnsiToUtf8(message);
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(channel.size()), channel.data(), text.c_str());
  }
  void SetError(int32_t, std::string_view) override {}

 private:
  bool raw_;
};

int Usage() {
  std::fputs(
      "usage: vorel_service sql [--raw] --path DIR STATEMENT\n"
      "  Runs STATEMENT against the tables in DIR and prints its Table XML (table name \"sql\").\n"
      "  The statement and the output are UTF-8, or Windows-1251 bytes as they are with --raw.\n",
      stderr);
  return 2;
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
    TerminalLogger logger(raw);
    SystemClock clock;
    RegionalSettings regional = SystemRegionalSettings();
    Connection ADO;
    ADO.SetConnectionString("Provider=VFPOLEDB;Data Source=" + path +
                            ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN");
    Query SQL(ADO, clock, regional);
    DatabaseContext ctx{ADO, SQL, logger, clock, regional};
    std::string xml = RenderTableXml(ctx, "sql", raw ? statement : Utf8ToAnsi(statement));
    if (!raw) xml = AnsiToUtf8(xml);
    std::fwrite(xml.data(), 1, xml.size(), stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vorel_service sql: %s\n", raw ? e.what() : AnsiToUtf8(e.what()).c_str());
    return 1;
  }
}

}  // namespace vorel
