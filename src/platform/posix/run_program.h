#pragma once

#include <string>
#include <vector>

#include "platform/error.h"

// Running another program of the system and waiting for it.
namespace vorel {

// Runs args[0] (looked up on PATH) with the arguments after it and this process's environment, its output
// captured, and waits for its end. Fails with vorel::Error naming the command when it cannot be started or
// does not exit 0, with the last line it wrote (where the reason of a failure usually stands).
void RunProgram(std::vector<std::string> args);

// Whether systemd runs this system (its runtime folder /run/systemd/system exists).
bool SystemdIsRunning();

}  // namespace vorel
