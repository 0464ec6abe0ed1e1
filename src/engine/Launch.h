#pragma once

namespace launch {

// Starts a command line as a new process (environment references expanded, as
// Windows does for Run values); nothing waits for it. False, after its line,
// when the process could not be started. Takes no lock and touches no key:
// callers copy what they start from the engine first.
bool LaunchCommand(const char* command);

}  // namespace launch
