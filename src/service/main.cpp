#include <cstdio>

#include "service/command_line.h"
#include "service/operator_commands.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
#ifdef _WIN32
    "  vorel_service                      run as the service VorelService (started by the service manager)\n"
    "  vorel_service /INSTALL [/SILENT]   register the service VorelService\n"
    "  vorel_service /UNINSTALL [/SILENT] remove it\n"
#else
    "  vorel_service                      run the service in the foreground (as systemd does)\n"
    "  vorel_service /INSTALL [/SILENT]   install the systemd unit VorelService.service\n"
    "  vorel_service /UNINSTALL [/SILENT] remove it\n"
#endif
    "  vorel_service state list | get [--raw] NAME | set [--raw] NAME VALUE | unset NAME\n"
    "  vorel_service sql ...\n"
    "  vorel_service dbcheck ...\n";

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
      return vorel::RunStateCommand(argc - 1, argv + 1);
    case ProgramAction::kSql:
      return vorel::RunSqlCommand(argc - 1, argv + 1);
    case ProgramAction::kDbcheck:
      return vorel::RunDbcheckCommand(argc - 1, argv + 1);
    case ProgramAction::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case ProgramAction::kBadArguments:
      std::fprintf(stderr, "vorel_service: unknown argument \"%s\"\n%s", line.badArgument.c_str(), kUsage);
      return 1;
  }
  return 1;
}
