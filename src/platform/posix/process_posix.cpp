#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/run_program.h"
#include "platform/process.h"

namespace vorel {
namespace {

// Fork twice: the middle child starts a new session and exits at once, so the script is adopted by init,
// never becomes our zombie and survives the end of the service's process (not of its control group).
void StartInNewSession(const std::string& scriptPath) {
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      dup2(devNull, STDIN_FILENO);
      dup2(devNull, STDOUT_FILENO);
      dup2(devNull, STDERR_FILENO);
      if (devNull > STDERR_FILENO) close(devNull);
    }
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    execl("/bin/sh", "sh", scriptPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace

SystemProcessLauncher::SystemProcessLauncher() {
  options_.systemdRunning = SystemdIsRunning();
}

void SystemProcessLauncher::StartDetached(const std::string& scriptPath) {
  if (options_.systemdRunning) {
    try {
      // --no-block: systemd queues the unit and systemd-run returns at once; --collect: the unit is gone
      // once the script has ended, failed or not. Its output goes to the journal.
      RunProgram({options_.systemdRun, "--no-block", "--collect", "--quiet", "--no-ask-password",
                  "--description=Vorel service script " + scriptPath, "/bin/sh", scriptPath});
      return;
    } catch (const Error&) {
      // No way through systemd: the detached start below is the next best thing.
    }
  }
  StartInNewSession(scriptPath);
}

}  // namespace vorel
