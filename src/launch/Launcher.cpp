#include "launch/Launcher.h"

#include "launch/DesktopShell.h"
#include "launch/Launch.h"
#include "sources/LogonTasks.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace launch {

bool Launcher::LaunchCommand(const std::wstring& command) const { return StartCommand(command, nullptr); }

bool Launcher::LaunchEntry(const StartupEntry& entry, win::UniqueHandle* started) const {
    return Start(entry, nullptr, started);
}

void Launcher::LaunchEach(const EntryList& entries, const StopCheck& stopped) const {
    StartBatch(entries, false, stopped);
}

void Launcher::LaunchAll(const EntryList& entries, const StopCheck& stopped) const {
    StartBatch(entries, true, stopped);
}

bool Launcher::StartCommand(const std::wstring& command, launch::DesktopShell* shell, win::UniqueHandle* started) const {
    return starts_.command ? starts_.command(command) : launch::LaunchCommand(command, shell, started);
}

bool Launcher::Start(const StartupEntry& entry, launch::DesktopShell* shell, win::UniqueHandle* process) const {
    if (entry.origin == Origin::TaskScheduler) return RunLogonTask(model_.TaskFactory(), entry.name);
    if (!entry.item.empty())
        return starts_.item ? starts_.item(entry.item) : launch::OpenItem(entry.item, shell, process);
    bool started = StartCommand(entry.command, shell, process);
    for (const std::wstring& other : entry.otherCommands) started = StartCommand(other, shell) && started;
    return started;
}

void Launcher::StartBatch(const EntryList& entries, bool all, const StopCheck& stopped) const {
    launch::DesktopShell shell;  // found once for the batch, if an elevated start needs it
    for (const StartupEntry& entry : entries) {
        if (stopped && stopped()) return;
        if (all && entry.origin == Origin::TaskScheduler) continue;
        // Said once the start is known: a failed one stays held, and is said so.
        const bool started = Start(entry, &shell);
        if (all) PrintLine(started ? "Data %s\n" : "Start failed: %s\n", win::Utf8ForDisplay(entry.command).c_str());
    }
}

}  // namespace launch
