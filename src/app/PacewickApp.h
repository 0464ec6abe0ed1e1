#pragma once
#include <windows.h>

#include "monitor/ChangeWatcher.h"
#include "registry/ConfigStore.h"

// The application object: its InitInstance is the whole life of the program.
// It builds what the program works with (the engine, the list model, the
// launcher, the settings, the start-up list monitors) and hands them down.
class CPacewickApp {
public:
    // The start-up sequence; the process ends once it returns.
    void InitInstance();
    // The process's exit code: 0 but when a switch run by the installer failed.
    int ExitCode() const { return exitCode_; }

    // How long the end of the program waits for the watchers: a take-over
    // under way finishes (no value is left half moved); one that takes longer
    // is cut off by the end of the process instead of keeping it alive
    // without a window.
    static constexpr DWORD kWatcherStopTimeout = 5000;
    // Ends the start-up list monitors (before "Restore All" writes anything
    // back, and at the end); false when one had not ended within the bound.
    static bool StopRunKeyMonitors(WatcherSet& monitors);

private:
    CConfigStore config_;
    int exitCode_ = 0;
};
