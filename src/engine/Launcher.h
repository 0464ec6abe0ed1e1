#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/StartupListModel.h"
#include "model/EntryList.h"

namespace launch {
class DesktopShell;
}

// Starts delayed entries: a Run value's command as a new process, a Startup
// folder item with the shell's open verb, a logon task through the Task
// Scheduler. Takes no lock and touches no key: callers copy the list first.
class Launcher {
public:
    // What starts a command and opens an item; null: the system's way (tests record instead).
    struct Starts {
        std::function<bool(const char* command)> command;
        std::function<bool(const std::wstring& item)> item;
    };
    // Asked before each start of a batch: true once no further start may begin.
    using StopCheck = std::function<bool()>;

    explicit Launcher(StartupListModel& model, Starts starts = {}) : model_(model), starts_(std::move(starts)) {}
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    bool LaunchCommand(const char* command) const;
    // Starts one entry now; for a name in several Run lists, every distinct command.
    bool LaunchEntry(const StartupEntry& entry) const;
    // Starts these entries as LaunchEntry does, one after the other, until `stopped`.
    void LaunchEach(const std::vector<StartupEntry>& entries, const StopCheck& stopped = {}) const;
    // Starts every entry but the logon tasks, which the Task Scheduler starts
    // itself at log-on: started here too, they would run twice. A failed start
    // does not stop the others; `stopped` does.
    void LaunchAll(const std::vector<StartupEntry>& entries, const StopCheck& stopped = {}) const;
    void LaunchAll(const EntryList& entries) const;

private:
    bool Start(const StartupEntry& entry, launch::DesktopShell* shell) const;
    bool StartCommand(const char* command, launch::DesktopShell* shell) const;
    void StartBatch(const std::vector<StartupEntry>& entries, bool all, const StopCheck& stopped) const;

    StartupListModel& model_;
    Starts starts_;
};
