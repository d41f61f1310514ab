#include <cstdio>
#include <string>

#include "service/command_line.h"
#include "service/operator_commands.h"
#include "service/service_identity.h"
#include "service/usage_text.h"

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
      return vorel::RunStateCommand(argc - 1, argv + 1);
    case ProgramAction::kSql:
      return vorel::RunSqlCommand(argc - 1, argv + 1);
    case ProgramAction::kDbcheck:
      return vorel::RunDbcheckCommand(argc - 1, argv + 1);
    case ProgramAction::kStatus:
      return vorel::RunStatusCommand(argc - 1, argv + 1);
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
