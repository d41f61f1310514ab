#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <errno.h>
#include <process.h>

#include <cstdint>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vorel::crash {

// Runs the program with the arguments and waits for it: its exit status, or -1 when a signal ended it.
inline int RunProgram(const std::string& program, const std::vector<std::string>& args) {
#ifdef _WIN32
  // The arguments are joined into one command line: each goes in quotes.
  std::vector<std::string> quoted;
  quoted.push_back("\"" + program + "\"");
  for (const std::string& a : args) quoted.push_back("\"" + a + "\"");
  std::vector<const char*> argv;
  for (const std::string& q : quoted) argv.push_back(q.c_str());
  argv.push_back(nullptr);
  // Under Wine a start now and then fails outright (-1 with errno set, nothing run): try it again.
  intptr_t status = -1;
  for (int attempt = 0; attempt < 3 && status == -1; ++attempt) {
    errno = 0;
    status = _spawnv(_P_WAIT, program.c_str(), argv.data());
    if (status == -1 && errno == 0) break;  // the program ran and ended with -1
  }
  return static_cast<int>(status);
#else
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace vorel::crash
