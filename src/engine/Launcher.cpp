#include "engine/Launcher.h"

#include "engine/Launch.h"
#include "sources/LogonTasks.h"
#include "win/Diagnostics.h"

bool Launcher::LaunchCommand(const char* command) const {
    return starts_.command ? starts_.command(command) : launch::LaunchCommand(command);
}

bool Launcher::LaunchEntry(const StartupEntry& entry) const {
    if (entry.origin == Origin::TaskScheduler) return RunLogonTask(model_.TaskFactory(), entry.name);
    if (!entry.item.empty()) return starts_.item ? starts_.item(entry.item) : launch::OpenItem(entry.item);
    bool started = LaunchCommand(entry.command);
    for (const std::string& other : entry.otherCommands) started = LaunchCommand(other.c_str()) && started;
    return started;
}

void Launcher::LaunchAll(const EntryList& entries) const {
    for (const StartupEntry& entry : entries) {
        if (entry.origin == Origin::TaskScheduler) continue;
        PrintLine("Data %s\n", entry.command);
        LaunchEntry(entry);
    }
}
