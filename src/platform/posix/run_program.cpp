#include "platform/posix/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace vorel {
namespace {

// The last line a program wrote, where the reason of a failure usually stands.
std::string LastLine(std::string output) {
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  const std::size_t cut = output.find_last_of('\n');
  return cut == std::string::npos ? output : output.substr(cut + 1);
}

}  // namespace

void RunProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string command;
  for (std::size_t i = 0; i < args.size(); ++i) command += (i ? " " : "") + args[i];

  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw Error("Cannot run " + command + ": " + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  std::string output;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
    } else if (errno != EINTR) {
      break;
    }
  }
  ::close(pipeEnds[0]);
  if (rc != 0) throw Error("Cannot run " + command + ": " + std::strerror(rc));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw Error("Cannot wait for " + command + ": " + std::strerror(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    const std::string reason = LastLine(output);
    throw Error(command + " failed with status " +
                std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) +
                (reason.empty() ? "" : ": " + reason));
  }
}

bool SystemdIsRunning() {
  std::error_code ec;
  return std::filesystem::is_directory("/run/systemd/system", ec);
}

}  // namespace vorel
