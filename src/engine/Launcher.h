#pragma once
#include <functional>
#include <string>

#include "engine/StartupListModel.h"
#include "model/EntryList.h"

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

    explicit Launcher(StartupListModel& model, Starts starts = {}) : model_(model), starts_(std::move(starts)) {}
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    bool LaunchCommand(const char* command) const;
    // Starts one entry now; for a name in several Run lists, every distinct command.
    bool LaunchEntry(const StartupEntry& entry) const;
    // Starts every entry but the logon tasks, which the Task Scheduler starts
    // itself at log-on: started here too, they would run twice. A failed start
    // does not stop the others.
    void LaunchAll(const EntryList& entries) const;

private:
    StartupListModel& model_;
    Starts starts_;
};
