#include "launch/Launcher.h"

#include "launch/DesktopShell.h"
#include "launch/Launch.h"
#include "sources/LogonTasks.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace launch {

bool Launcher::LaunchEntry(const StartupEntry& entry, win::UniqueHandle* started) const {
    return Start(entry, nullptr, started);
}

void Launcher::LaunchEach(const EntryList& entries, const StopCheck& stopped, const StartOutcome& outcome) const {
    StartBatch(entries, BatchKind::Chosen, stopped, outcome);
}

void Launcher::LaunchAll(const EntryList& entries, const StopCheck& stopped, const StartOutcome& outcome) const {
    StartBatch(entries, BatchKind::AllDelayed, stopped, outcome);
}

bool Launcher::StartCommand(const std::wstring& command, launch::DesktopShell* shell, win::UniqueHandle* started) const {
    return starts_.command ? starts_.command(command) : launch::LaunchCommand(command, shell, started);
}

bool Launcher::Start(const StartupEntry& entry, launch::DesktopShell* shell, win::UniqueHandle* process) const {
    const bool started = StartOnce(entry, shell, process);
    if (!started) events::ReportStartFailed(events_, entry.name, entry.command.empty() ? entry.item : entry.command);
    return started;
}

bool Launcher::StartOnce(const StartupEntry& entry, launch::DesktopShell* shell, win::UniqueHandle* process) const {
    if (entry.origin == Origin::TaskScheduler) return RunLogonTask(model_.TaskFactory(), entry.name);
    if (!entry.item.empty())
        return starts_.item ? starts_.item(entry.item) : launch::StartItem(entry.item, shell, process);
    bool started = StartCommand(entry.command, shell, process);
    for (const std::wstring& other : entry.otherCommands) started = StartCommand(other, shell) && started;
    return started;
}

void Launcher::StartBatch(const EntryList& entries, BatchKind kind, const StopCheck& stopped,
                          const StartOutcome& outcome) const {
    const bool all = kind == BatchKind::AllDelayed;
    launch::DesktopShell shell;  // found once for the batch, if an elevated start needs it
    for (const StartupEntry& entry : entries) {
        if (stopped && stopped()) return;
        if (all && entry.origin == Origin::TaskScheduler) continue;
        // Said once the start is known: a failed one stays held, and is said so.
        const bool started = Start(entry, &shell);
        if (all) PrintLine(started ? "Data %s\n" : "Start failed: %s\n", win::Utf8ForDisplay(entry.command).c_str());
        if (outcome) outcome(entry, started);
    }
}

}  // namespace launch
