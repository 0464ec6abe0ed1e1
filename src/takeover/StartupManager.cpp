#include "takeover/StartupManager.h"

#include <utility>

#include "policy/ListedPrograms.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace takeover {

CStartupManager::CStartupManager(const lists::SourceTable& sources, ListSet written, ListSet listed,
                                 ItemEventSink& events, StartupListModel& model)
    : sources_(sources), written_(written), listed_(listed), events_(events), model_(model) {}

lists::Reporter CStartupManager::ReporterFor(std::size_t row) const {
    return lists::Reporter{events_, row, sources_[row]->Kind()};
}

// Calls `use(row, source)` for each row of the set, in the table's order; a
// list that policy turns off is left alone.
template <typename Use>
void CStartupManager::ForEachRow(ListSet rows, Use use) const {
    for (std::size_t row = 0; row < sources_.size(); ++row)
        if ((rows & ListBit(row)) && !sources_[row]->TurnedOff()) use(row, *sources_[row]);
}

std::optional<CStartupManager::KeysLock> CStartupManager::LockKeys() {
    KeysLock lock;
    if (written_ & lists::RowsOf(sources_, lists::Scope::User)) {
        lock.account = accountLock_.Take(kAccountLockWaitMs);
        if (!lock.account.Held()) {
            if (lock.account.Error() == ERROR_ACCESS_DENIED)
                PrintLine("Keys not changed, the account's lock is refused: %s: every value stays where it is\n",
                          lock.account.Refusal().c_str());
            else
                PrintLine("Keys not changed, another Pacewick of this account holds them (%lu): "
                          "every value stays where it is\n",
                          static_cast<unsigned long>(lock.account.Error()));
            return std::nullopt;
        }
    }
    lock.engine = std::unique_lock<std::mutex>(mutex_);
    return lock;
}

EntryList CStartupManager::ListHeld(TaskQuery tasks, unsigned long long* generation) {
    *generation = model_.NextGeneration();
    EntryList entries;
    // The current user's lists first: their entries win the duplicate rule.
    ForEachRow(listed_, [&](std::size_t row, lists::StartupSource& source) {
        source.ListHeld(entries, ListBit(row), ReporterFor(row));
    });
    // The tasks do not change with the start-up lists: take-overs ask for them
    // once, the rebuilds that the user causes (a start, a deletion, a restore)
    // each time. They belong to a user's list: a process that lists no user's
    // entries (the keeper service) never asks the Task Scheduler.
    if (listed_ & lists::RowsOf(sources_, lists::Scope::User)) model_.AskForTasks(tasks);
    return entries;
}

// Published under the lock, so that the list takes the readings and the moves
// in the order they were made (a publication is memory work and a post).
void CStartupManager::PublishHeld(TaskQuery tasks) {
    unsigned long long generation = 0;
    EntryList entries = ListHeld(tasks, &generation);
    model_.Publish(std::move(entries), generation);
}

// The machine's LeaveAlone list, read afresh: an administrator may change it
// while Pacewick runs, and each take-over follows the list as it is then.
lists::LeftAlone CStartupManager::LeftAloneNow() const {
    auto list = std::make_shared<const policy::ListedPrograms>(policy::ListedPrograms::LeaveAloneOfMachine());
    if (list->Empty()) return nullptr;
    return [list](const std::wstring& command) { return list->Names(command); };
}

EntryList CStartupManager::MoveLocked(const lists::StopAsked& stop, ListSet rows, const lists::LeftAlone& leave) {
    EntryList moved;
    ForEachRow(written_ & rows, [&](std::size_t row, lists::StartupSource& source) {
        EntryList fromRow;
        source.MoveIn(fromRow, ListBit(row), ReporterFor(row), stop, leave);
        if (listed_ & ListBit(row)) moved.Append(fromRow);
    });
    return moved;
}

void CStartupManager::TakeOver() {
    const auto lock = LockKeys();
    if (!lock) return;
    // What the list names now and was held before goes back first, exactly as
    // Restore All puts it back, so that Windows starts it again.
    const lists::LeftAlone leave = LeftAloneNow();
    if (leave)
        ForEachRow(written_, [&](std::size_t row, lists::StartupSource& source) {
            source.Restore(ReporterFor(row), leave);
        });
    MoveLocked(nullptr, ~0u, leave);
    PublishHeld(TaskQuery::FirstOnly);
}

EntryList CStartupManager::TakeOverNewcomers(const lists::StopAsked& stop, ListSet rows) {
    const auto lock = LockKeys();
    if (!lock) return EntryList();
    EntryList moved = MoveLocked(stop, rows, LeftAloneNow());
    if (!model_.Merge(moved)) PublishHeld(TaskQuery::FirstOnly);
    return moved;
}

void CStartupManager::RebuildList(TaskQuery tasks) {
    const std::lock_guard<std::mutex> guard(mutex_);
    PublishHeld(tasks);
}

bool CStartupManager::RestoreAll() {
    bool everyProgramBack = true;
    const auto lock = LockKeys();
    if (!lock) return false;
    // Read before anything moves: the list keeps what was restored.
    unsigned long long generation = 0;
    EntryList entries = ListHeld(TaskQuery::Afresh, &generation);
    for (std::size_t row = 0; row < sources_.size(); ++row)
        if (written_ & ListBit(row)) everyProgramBack = sources_[row]->Restore(ReporterFor(row)) && everyProgramBack;
    model_.Publish(std::move(entries), generation);
    return everyProgramBack;
}

bool CStartupManager::DeleteBackupEntry(const StartupEntry& entry) {
    const auto lock = LockKeys();
    if (!lock) return false;
    // Every BackUp place that keeps the name loses it: a name kept in two must
    // not come back from the other at the next take-over.
    bool changed = false;
    for (std::size_t row = 0; row < sources_.size(); ++row)
        if (entry.lists & written_ & ListBit(row)) changed = sources_[row]->DeleteHeld(entry, ReporterFor(row)) || changed;
    return changed;
}

int CStartupManager::RegisterSelf(const char* selfCommand) {
    if (!(written_ & lists::RowsOf(sources_, lists::Scope::Machine))) return 0;
    const auto lock = LockKeys();
    if (!lock) return 0;
    const auto wide = win::Wide(selfCommand ? selfCommand : "");
    registry::Key run;
    if (run.Open(HKEY_LOCAL_MACHINE, keys::kRun, KEY_SET_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return 0;
    bool written = false;
    if (wide) {
        const RegValueBlob value(REG_SZ, wide->c_str(), static_cast<DWORD>((wide->size() + 1) * sizeof(wchar_t)));
        written = run.WriteValue(keys::kSelfValueName, value) == ERROR_SUCCESS;
    }
    // The event names the first row this engine writes: the user's when it
    // writes both, though the value is in the machine's Run key.
    std::size_t firstWrittenRow = 0;
    while (!(written_ & ListBit(firstWrittenRow))) ++firstWrittenRow;
    events_.Report(ItemEvent{written ? ItemHappened::Copied : ItemHappened::CopyFailed, ItemPlace::StartUp,
                             ItemKind::RegistryValue, firstWrittenRow, win::Utf8ForDisplay(keys::kSelfValueName), nullptr});
    return written ? 1 : 0;
}

}  // namespace takeover
