#include "ui/StartRoutes.h"

#include <vector>

namespace ui {
namespace {

// A Run value's command by the value's name, whichever list holds it; a
// Startup item by its held file (which tells the two folders apart).
std::wstring StartKey(const StartupEntry& entry, const std::wstring& command) {
    if (!entry.item.empty()) return L"item\n" + entry.item;
    return L"run\n" + entry.name + L'\n' + command;
}

std::vector<std::wstring> CommandsOf(const StartupEntry& entry) {
    std::vector<std::wstring> commands{entry.command};
    commands.insert(commands.end(), entry.otherCommands.begin(), entry.otherCommands.end());
    return commands;
}

}  // namespace

plan::Schedule StartRoutes::Split(const EntryList& list) const {
    return plan::ScheduleOf(list, plan::LevelsOf(list), settings_);
}

EntryList StartRoutes::NotStarted(const EntryList& entries) const {
    std::set<std::wstring> taken = started_;  // a start twice in one list too
    std::vector<StartupEntry> left;
    for (const StartupEntry& entry : entries) {
        if (entry.origin == Origin::TaskScheduler) continue;
        std::vector<std::wstring> commands;
        for (const std::wstring& command : CommandsOf(entry))
            if (taken.insert(StartKey(entry, command)).second) commands.push_back(command);
        if (commands.empty()) continue;
        left.push_back(entry);
        left.back().command = commands.front();
        left.back().otherCommands.assign(commands.begin() + 1, commands.end());
    }
    EntryList list;
    for (auto entry = left.rbegin(); entry != left.rend(); ++entry) list.InsertFront(std::move(*entry));
    return list;
}

void StartRoutes::CountStarted(const EntryList& entries) {
    for (const StartupEntry& entry : entries)
        for (const std::wstring& command : CommandsOf(entry)) started_.insert(StartKey(entry, command));
}

EntryList StartRoutes::AtStart(const EntryList& list) {
    const EntryList due = NotStarted(Split(list).atStart);
    CountStarted(due);
    return due;
}

EntryList StartRoutes::ForReadyStart(const EntryList& list) const { return NotStarted(Split(list).whenReady); }

EntryList StartRoutes::AtTurn(const EntryList& list, const FinishReady& finishReady, bool everyEntry) {
    const plan::Schedule schedule = Split(list);
    const EntryList ready = NotStarted(schedule.whenReady);
    EntryList due = finishReady ? finishReady(ready) : ready;
    due.Append(schedule.atCountdownEnd);
    // An At log-on entry taken over since the start has missed its turn: the
    // next log-on's, or Run All, starts it.
    if (everyEntry) {
        due.Append(schedule.atStart);
        due.Append(schedule.byHand);
    }
    due = NotStarted(due);
    // What the ready-start started is left out of `due`, and started all the same.
    CountStarted(ready);
    CountStarted(due);
    return due;
}

bool StartRoutes::DueAtCountdownEnd(const EntryList& list) const {
    return !NotStarted(Split(list).atCountdownEnd).Empty();
}

std::size_t StartRoutes::WaitingForHand(const EntryList& list) const {
    return NotStarted(Split(list).byHand).Count();
}

}  // namespace ui
