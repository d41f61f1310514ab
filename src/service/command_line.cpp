#include "service/command_line.h"

#include "platform/code_page.h"

namespace vorel {

bool IsSwitch(std::string_view argument, std::string_view name) {
  if (argument.size() != name.size() + 1 || (argument[0] != '/' && argument[0] != '-')) return false;
  return ToUpperAnsi(argument.substr(1)) == ToUpperAnsi(name);
}

namespace {

CommandLine Asking(ProgramAction action) {
  CommandLine line;
  line.action = action;
  return line;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  if (argc > 1) {
    const std::string_view first = argv[1];
    if (first == "state") return Asking(ProgramAction::kState);
    if (first == "sql") return Asking(ProgramAction::kSql);
    if (first == "dbcheck") return Asking(ProgramAction::kDbcheck);
    if (first == "status") return Asking(ProgramAction::kStatus);
    if (first == "audit") return Asking(ProgramAction::kAudit);
    if (argc == 2 && (first == "--help" || first == "-h" || IsSwitch(first, "help") || first == "/?"))
      return Asking(ProgramAction::kHelp);
    if (argc == 2 && first == "--version") return Asking(ProgramAction::kVersion);
  }
  bool install = false, uninstall = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (IsSwitch(arg, "INSTALL")) {
      install = true;
    } else if (IsSwitch(arg, "UNINSTALL")) {
      uninstall = true;
    } else if (IsSwitch(arg, "SILENT")) {
      line.silent = true;
    } else {
      return {ProgramAction::kBadArguments, false, std::string(arg)};
    }
  }
  if (install) {
    line.action = ProgramAction::kInstall;
  } else if (uninstall) {
    line.action = ProgramAction::kUninstall;
  }
  return line;
}

}  // namespace vorel
