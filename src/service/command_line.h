#pragma once

#include <string>
#include <string_view>

// What the service program was asked to do.
namespace vorel {

enum class ProgramAction {
  kRunService,
  kInstall,
  kUninstall,
  kState,
  kSql,
  kDbcheck,
  kStatus,
  kAudit,
  kHelp,
  kVersion,
  kBadArguments
};

struct CommandLine {
  ProgramAction action = ProgramAction::kRunService;
  bool silent = false;
  std::string badArgument{};  // for kBadArguments
};

// Whether one argument is the switch `name`: introduced by "/" or "-", any letter case.
bool IsSwitch(std::string_view argument, std::string_view name);

// A first argument "state", "sql", "dbcheck" or "status" names an operator command; "--help" and
// "--version" (alone) ask for the usage text and the version. Otherwise every argument must be
// a switch: INSTALL wins over UNINSTALL, SILENT goes with either; only SILENT, or nothing, runs the service.
CommandLine ParseCommandLine(int argc, char** argv);

}  // namespace vorel
