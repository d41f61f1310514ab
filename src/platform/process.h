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

// The platform's launcher (POSIX: /bin/sh in a new session, output to /dev/null).
class SystemProcessLauncher final : public ProcessLauncher {
 public:
  void StartDetached(const std::string& scriptPath) override;
};

}  // namespace vorel
