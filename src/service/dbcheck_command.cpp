#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "dbf/cdx_check.h"
#include "dbf/index_repair.h"
#include "dbf/table.h"
#include "platform/code_page.h"
#include "platform/path_text.h"
#include "service/operator_commands.h"

namespace vorel {

namespace {

int Usage() {
  std::fputs(
      "usage: vorel_service dbcheck --path DIR [TABLE]\n"
      "       vorel_service dbcheck --repair --path DIR TABLE\n",
      stderr);
  return 2;
}

void Say(const std::string& table, const std::string& text) {
  std::printf("%s: %s\n", AnsiToUtf8(table).c_str(), AnsiToUtf8(text).c_str());
}

// Prints a check's findings; the "ok" line when there are none.
void PrintReport(const std::string& name, const dbf::IndexCheckReport& report, uint32_t records) {
  for (const std::string& note : report.notes) Say(name, "note: " + note);
  for (const std::string& problem : report.problems) Say(name, problem);
  if (report.ok())
    Say(name, "ok (" + std::to_string(records) + " records, " + std::to_string(report.tagsChecked) +
                  " index tags)");
}

// Checks one table, named as a statement would name it (text); prints its result and returns false when
// something is wrong.
bool CheckOne(const std::filesystem::path& folder, const std::string& name) {
  try {
    dbf::TableOptions options;
    options.readOnly = true;
    dbf::Table table = dbf::Table::Open(folder, name, options);
    if (table.recoveryPending())
      Say(name,
          "note: a write stopped part-way (its journal lies beside the table); the service or "
          "vorel_service sql undoes it when it next opens the table");
    const dbf::IndexCheckReport report = dbf::CheckTableIndex(table, dbf::BasicKeyExpressionCompiler());
    PrintReport(name, report, table.recordCount());
    return report.ok();
  } catch (const std::exception& e) {
    Say(name, e.what());
    return false;
  }
}

std::string Entries(size_t n) {
  return std::to_string(n) + (n == 1 ? " entry" : " entries");
}

// Rebuilds the damaged index of one table; prints what it found and changed, and returns false when the
// index is not whole afterwards.
bool RepairOne(const std::filesystem::path& folder, const std::string& name) {
  try {
    const dbf::IndexRepairReport report =
        dbf::RepairStructuralIndex(folder, name, dbf::BasicKeyExpressionCompiler());
    if (report.problems.empty()) {
      Say(name, "the index is whole; nothing was changed");
      return true;
    }
    for (const std::string& problem : report.problems) Say(name, "found: " + problem);
    Say(name, "the index as it was is kept in " + PathText(report.backup));
    for (const dbf::TagRebuild& tag : report.tags) {
      if (!tag.rebuilt) {
        Say(name, "tag " + tag.tag + " left as it is (" + tag.reason +
                      "); the reception desk program can rebuild it (REINDEX)");
      } else if (!tag.oldTreeFault.empty()) {
        Say(name, "tag " + tag.tag + " rebuilt with " + Entries(tag.entries) +
                      "; its old tree could not be read (" + tag.oldTreeFault + ")");
      } else if (tag.removed + tag.added == 0) {
        Say(name, "tag " + tag.tag + " rebuilt with " + Entries(tag.entries) + ", the same as before");
      } else {
        Say(name, "tag " + tag.tag + " rebuilt with " + Entries(tag.entries) + ": " + Entries(tag.removed) +
                      " removed, " + Entries(tag.added) + " added");
      }
    }
    dbf::TableOptions reading;
    reading.readOnly = true;
    PrintReport(name, report.after, dbf::Table::Open(folder, name, reading).recordCount());
    return report.after.ok();
  } catch (const std::exception& e) {
    Say(name, "not repaired: " + std::string(e.what()));
    return false;
  }
}

}  // namespace

// vorel_service dbcheck [--repair] --path DIR [TABLE]: checks every table of the folder (or one) and its
// structural index, or repairs the index of one table; exit status 1 when anything is wrong.
int RunDbcheckCommand(int argc, char** argv) {
  std::string folderText, only;
  bool repair = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--path" && i + 1 < argc) {
      folderText = argv[++i];
    } else if (arg == "--repair") {
      repair = true;
    } else if (!arg.empty() && arg[0] != '-' && only.empty()) {
      only = arg;
    } else {
      return Usage();
    }
  }
  if (folderText.empty() || (repair && only.empty())) return Usage();
  const std::filesystem::path folder = PathOfUtf8(folderText);
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "vorel_service dbcheck: %s is not a folder\n", folderText.c_str());
    return 2;
  }
  // The table is named as a statement would name it (text).
  if (repair) return RepairOne(folder, Utf8ToAnsi(only)) ? 0 : 1;
  std::set<std::string> names;
  if (!only.empty()) {
    names.insert(Utf8ToAnsi(only));
  } else {
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      const std::string file = PathText(entry.path().filename());
      if (file.size() > 4 && ToLowerAnsi(file.substr(file.size() - 4)) == ".dbf")
        names.insert(file.substr(0, file.size() - 4));
    }
  }
  bool ok = true;
  for (const std::string& name : names) ok = CheckOne(folder, name) && ok;
  return ok ? 0 : 1;
}

}  // namespace vorel
