#pragma once

#include <string>

// Starting a script that must outlive the service and never hold it up.
namespace vorel {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts the script in its own hidden process and returns at once, without waiting for it or looking at
  // whether it started.
  virtual void StartDetached(const std::string& scriptPath) = 0;
};

// The platform's launcher. POSIX: where systemd runs, the script becomes a transient unit of its own
// (systemd-run), outside the service's control group, so that stopping the service does not end the
// script; where it does not, or systemd-run fails, /bin/sh in a new session with its output to /dev/null.
// Windows: a hidden command processor (the options are not used).
class SystemProcessLauncher final : public ProcessLauncher {
 public:
  struct Options {
    bool systemdRunning = false;
    std::string systemdRun = "systemd-run";
  };
  SystemProcessLauncher();  // systemd as the system has it
  explicit SystemProcessLauncher(Options options) : options_(std::move(options)) {}
  void StartDetached(const std::string& scriptPath) override;

 private:
  Options options_;
};

}  // namespace vorel
