#pragma once
#include <windows.h>

// The application object: its InitInstance is the whole life of the program.
class CPacewickApp {
public:
    // The start-up sequence; FALSE on every path, after which the process ends.
    BOOL InitInstance();
    // Ends both Run-key monitors (before "Restore All" writes anything back).
    static void StopRunKeyMonitors();
    // The process's exit code: 0 but when a switch run by the installer failed.
    int ExitCode() const { return exitCode_; }

private:
    int exitCode_ = 0;
};
