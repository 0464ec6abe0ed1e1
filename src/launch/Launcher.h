#pragma once
#include <functional>
#include <string>
#include <vector>

#include "takeover/StartupListModel.h"
#include "entry/EntryList.h"
#include "events/EventLog.h"
#include "win/Scoped.h"

namespace launch {

class DesktopShell;

// What became of one start of a batch, told as soon as it is known, on the
// batch's thread: the entry as it was handed over, and whether it started (a
// Run value's every command, or its item opened, or its task run).
using StartOutcome = std::function<void(const StartupEntry& entry, bool started)>;

// Starts delayed entries: a Run value's command as a new process, a Startup
// folder item with the shell's open verb, a logon task through the Task
// Scheduler. Takes no lock and touches no key: callers copy the list first.
class Launcher {
public:
    // What starts a command and opens an item; null: the system's way (tests record instead).
    struct Starts {
        std::function<bool(const std::wstring& command)> command;
        std::function<bool(const std::wstring& item)> item;
    };
    // Asked before each start of a batch: true once no further start may begin.
    using StopCheck = std::function<bool()>;
    // What a batch is: entries chosen to start now (LaunchEach), or every
    // delayed entry (LaunchAll: no logon task, a line for each start).
    enum class BatchKind { Chosen, AllDelayed };

    // `events`, when given, gets a warning for each start that fails.
    explicit Launcher(takeover::StartupListModel& model, Starts starts = {}, events::Sink* events = nullptr)
        : model_(model), starts_(std::move(starts)), events_(events) {}
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Starts one entry now; for a name in several Run lists, every distinct
    // command. `started`, when given, receives the process of its (first)
    // program when there is one to have.
    bool LaunchEntry(const StartupEntry& entry, win::UniqueHandle* started = nullptr) const;
    // Starts these entries as LaunchEntry does, one after the other, until
    // `stopped`; `outcome`, when given, hears of each start made.
    void LaunchEach(const EntryList& entries, const StopCheck& stopped = {}, const StartOutcome& outcome = {}) const;
    // Starts every entry but the logon tasks, which the Task Scheduler starts
    // itself at log-on: started here too, they would run twice. A failed start
    // does not stop the others; `stopped` does. `outcome` as for LaunchEach.
    void LaunchAll(const EntryList& entries, const StopCheck& stopped = {}, const StartOutcome& outcome = {}) const;

private:
    // Starts it, and reports it to events_ when it failed.
    bool Start(const StartupEntry& entry, launch::DesktopShell* shell, win::UniqueHandle* started = nullptr) const;
    bool StartOnce(const StartupEntry& entry, launch::DesktopShell* shell, win::UniqueHandle* started) const;
    bool StartCommand(const std::wstring& command, launch::DesktopShell* shell, win::UniqueHandle* started = nullptr) const;
    void StartBatch(const EntryList& entries, BatchKind kind, const StopCheck& stopped, const StartOutcome& outcome) const;

    takeover::StartupListModel& model_;
    Starts starts_;
    events::Sink* events_;
};

}  // namespace launch
