#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The writes the crash tests stop at every I/O point: the four booking commands on m2401 with and without a
// structural index, an INSERT whose new key splits a leaf of an index tag, and an INSERT whose memo value
// grows the memo file. Shared by the test and the child program that it ends part-way.
namespace vorel::crash {

struct Scenario {
  std::string name;
  std::string table;  // the table the scenario writes
  // Writes the scenario's tables into an empty folder.
  std::function<void(const std::filesystem::path& folder)> setUp;
  // Runs the command against the folder and returns the answer the portal is given (for the SQL statements:
  // the number of rows written, or "error: " and the message).
  std::function<std::string(const std::filesystem::path& folder)> run;
};

// What the reception desk program does between a stop and the reopen, knowing nothing of the journal: one
// statement (the number of records it wrote), or a PACK once record 1 was deleted: every later record moves
// up one place, the record count drops by one and the index is built anew ("packed").
std::string WriteAsAnotherProgram(const std::filesystem::path& folder, const std::string& statement);
std::string PackAsAnotherProgram(const std::filesystem::path& folder, const std::string& table);

const std::vector<Scenario>& Scenarios();
// nullptr for an unknown name.
const Scenario* FindScenario(std::string_view name);

}  // namespace vorel::crash
