// The process the crash tests end part-way:
//   crash_child FOLDER SCENARIO|open|sql|pack TABLE PLAN ANSWER_FILE
// installs the fault plan (kill@N, tear@N, eio@N, enospc@N, none), runs the scenario's command against the
// folder (or, for "open", opens TABLE for writing, which undoes an interrupted write; for "sql" and "pack",
// plays the reception desk program: TABLE is then its statement or the table it packs), and, when it lives
// to the end, writes the answer to ANSWER_FILE. Exit status 2 for bad arguments.
#include <cstdio>
#include <fstream>
#include <string>

#include "crash/crash_scenarios.h"
#include "dbf/table.h"
#include "platform/fault_injection.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fputs("usage: crash_child FOLDER SCENARIO|open|sql|pack TABLE PLAN ANSWER_FILE\n", stderr);
    return 2;
  }
  const std::string folder = argv[1], name = argv[2], table = argv[3];
  const vorel::crash::Scenario* scenario = vorel::crash::FindScenario(name);
  if (!scenario && name != "open" && name != "sql" && name != "pack") {
    std::fprintf(stderr, "unknown scenario %s\n", name.c_str());
    return 2;
  }
  std::string answer;
  try {
    vorel::SetFaultPlan(vorel::ParseFaultPlan(argv[4]));
    if (scenario) {
      answer = scenario->run(folder);
    } else if (name == "sql") {
      answer = vorel::crash::WriteAsAnotherProgram(folder, table);
    } else if (name == "pack") {
      answer = vorel::crash::PackAsAnotherProgram(folder, table);
    } else {
      vorel::dbf::Table t = vorel::dbf::Table::Open(folder, table);
      answer = t.recoveryPending() ? "pending" : "opened";
    }
  } catch (const std::exception& e) {
    answer = std::string("error: ") + e.what();
  }
  vorel::SetFaultPlan({});
  std::ofstream(argv[5], std::ios::binary) << answer;
  return 0;
}
