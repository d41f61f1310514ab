#include <cstdio>
#include <string>

#include "platform/operator_console.h"
#include "service/command_line.h"
#include "service/operator_commands.h"
#include "service/service_identity.h"
#include "service/usage_text.h"

namespace {

// The operator commands take and print UTF-8 on every system.
int RunOperatorCommand(vorel::ProgramAction action, int argc, char** argv) {
  vorel::OperatorConsole console(argc, argv);
  const int count = console.argc() - 1;
  char** args = console.argv() + 1;
  switch (action) {
    case vorel::ProgramAction::kState:
      return vorel::RunStateCommand(count, args);
    case vorel::ProgramAction::kSql:
      return vorel::RunSqlCommand(count, args);
    case vorel::ProgramAction::kDbcheck:
      return vorel::RunDbcheckCommand(count, args);
    case vorel::ProgramAction::kAudit:
      return vorel::RunAuditCommand(count, args);
    default:
      return vorel::RunStatusCommand(count, args);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using vorel::ProgramAction;
  const vorel::CommandLine line = vorel::ParseCommandLine(argc, argv);
  switch (line.action) {
    case ProgramAction::kRunService:
      return vorel::RunServiceProcess();
    case ProgramAction::kInstall:
      return vorel::RunInstallCommand(true, line.silent);
    case ProgramAction::kUninstall:
      return vorel::RunInstallCommand(false, line.silent);
    case ProgramAction::kState:
    case ProgramAction::kSql:
    case ProgramAction::kDbcheck:
    case ProgramAction::kAudit:
    case ProgramAction::kStatus:
      return RunOperatorCommand(line.action, argc, argv);
    case ProgramAction::kHelp:
      std::fputs(vorel::UsageText().c_str(), stdout);
      return 0;
    case ProgramAction::kVersion:
      std::printf("vorel_service %s\n", std::string(vorel::kServiceVersion).c_str());
      return 0;
    case ProgramAction::kBadArguments:
      std::fprintf(stderr,
                   "vorel_service: unknown argument \"%s\" (vorel_service --help lists the commands)\n",
                   line.badArgument.c_str());
      return 2;
  }
  return 2;
}
