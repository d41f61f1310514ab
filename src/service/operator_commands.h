#pragma once

// The things the service program does besides running the service, each reached from the command line.
// A command gets its own arguments with argv[0] the command word ("state", "sql", "dbcheck") and returns
// the exit status of the process.
namespace vorel {

// vorel_service state list | get [--raw] NAME | set [--raw] NAME VALUE | unset NAME
int RunStateCommand(int argc, char** argv);
// vorel_service sql ...
int RunSqlCommand(int argc, char** argv);
// vorel_service dbcheck ...
int RunDbcheckCommand(int argc, char** argv);
// vorel_service audit [--since YYYYMMDD] [--slot KW YYYYMMDD HH:MM] [--patient KL] [--json]
int RunAuditCommand(int argc, char** argv);
// vorel_service status [--warning SECONDS]: exit status 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
int RunStatusCommand(int argc, char** argv);

// vorel_service /INSTALL or /UNINSTALL, with /SILENT: registers or removes the service.
int RunInstallCommand(bool install, bool silent);

// vorel_service without arguments: runs the service in the foreground until SIGTERM or SIGINT.
int RunServiceProcess();

}  // namespace vorel
