#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "dbf/cdx_check.h"
#include "dbf/table.h"
#include "platform/code_page.h"
#include "service/operator_commands.h"

namespace vorel {

namespace {

int Usage() {
  std::fputs("usage: vorel_service dbcheck --path DIR [TABLE]\n", stderr);
  return 2;
}

// Checks one table; prints its result and returns false when something is wrong.
bool CheckOne(const std::filesystem::path& folder, const std::string& name) {
  try {
    dbf::TableOptions options;
    options.readOnly = true;
    dbf::Table table = dbf::Table::Open(folder, name, options);
    if (table.recoveryPending())
      std::printf("%s: note: a write stopped part-way (its journal lies beside the table); the service or "
                  "vorel_service sql undoes it when it next opens the table\n",
                  name.c_str());
    const dbf::IndexCheckReport report = dbf::CheckTableIndex(table, dbf::BasicKeyExpressionCompiler());
    for (const std::string& note : report.notes)
      std::printf("%s: note: %s\n", name.c_str(), AnsiToUtf8(note).c_str());
    for (const std::string& problem : report.problems)
      std::printf("%s: %s\n", name.c_str(), AnsiToUtf8(problem).c_str());
    if (report.ok())
      std::printf("%s: ok (%zu records, %zu index tags)\n", name.c_str(),
                  static_cast<size_t>(table.recordCount()), report.tagsChecked);
    return report.ok();
  } catch (const std::exception& e) {
    std::printf("%s: %s\n", name.c_str(), AnsiToUtf8(e.what()).c_str());
    return false;
  }
}

}  // namespace

// vorel_service dbcheck --path DIR [TABLE]: checks every table of the folder (or one) and its structural
// index; exit status 1 when anything is wrong.
int RunDbcheckCommand(int argc, char** argv) {
  std::string folder, only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--path" && i + 1 < argc) {
      folder = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && only.empty()) {
      only = arg;
    } else {
      return Usage();
    }
  }
  if (folder.empty()) return Usage();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "vorel_service dbcheck: %s is not a folder\n", folder.c_str());
    return 2;
  }
  std::set<std::string> names;
  if (!only.empty()) {
    names.insert(only);
  } else {
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      const std::string file = entry.path().filename().string();
      if (file.size() > 4 && ToLowerAnsi(file.substr(file.size() - 4)) == ".dbf")
        names.insert(file.substr(0, file.size() - 4));
    }
  }
  bool ok = true;
  for (const std::string& name : names) ok = CheckOne(folder, name) && ok;
  return ok ? 0 : 1;
}

}  // namespace vorel
