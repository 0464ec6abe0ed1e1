#include "engine/StartupManager.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/Launch.h"
#include "engine/Sweep.h"
#include "engine/ValueTransfer.h"
#include "engine/StartupLists.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "registry/ValueWalk.h"
#include "sources/Companies.h"
#include "sources/ExplorerSwitches.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace {

using registry::kReadAccess;
using registry::kWriteAccess;

// One start-up list's Run and BackUp keys, as one operation opens them.
struct OpenedList {
    const StartupList& list;
    registry::Key run;
    registry::Key backUp;

    explicit OpenedList(const StartupList& startupList) : list(startupList) {}
    LONG OpenRun(REGSAM access) { return run.Open(list.root, win::WidenAscii(list.runPath), access | list.view); }
    LONG OpenBackUp(REGSAM access) {
        return backUp.Open(list.root, win::WidenAscii(list.backUpPath), access | list.view);
    }
    bool TurnedOff() const { return TurnedOffByPolicy(list.disablingPolicy); }
};

// The rows of the set, in the table's order.
std::vector<OpenedList> ListsOf(ListSet rows) {
    std::vector<OpenedList> opened;
    for (std::size_t row = 0; row < StartupLists().size(); ++row)
        if (rows & ListBit(row)) opened.emplace_back(StartupLists()[row]);
    return opened;
}

// After a restore: true when each value its BackUp key still holds has a value
// of the same name in the Run key (a newer one, kept there), so that Windows
// still starts every program. A BackUp key that cannot be read fails the test.
bool NoneLeftOnlyInBackUp(OpenedList& list) {
    if (!list.backUp) {
        const LONG status = list.OpenBackUp(kReadAccess);
        if (status != ERROR_SUCCESS) return status == ERROR_FILE_NOT_FOUND;
    }
    bool none = true;
    const bool walked = registry::WalkValueNames(list.backUp.Get(), [&](const registry::ValueName& name) {
        if (list.run && RegQueryValueExW(list.run.Get(), name.wide.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                            ERROR_SUCCESS)
            return;
        PrintLine("Reg entry left only in its BackUp key: %s\n", name.text.c_str());
        none = false;
    });
    return walked && none;
}

std::mutex launcherMutex;
CStartupManager::Launcher launcher;  // none: CreateProcess

}  // namespace

CStartupManager* CStartupManager::GetInstance() {
    // Never destroyed: monitor threads may still use it while the process ends.
    static CStartupManager* const instance = new CStartupManager();
    return instance;
}

CStartupManager::CStartupManager() {
    tasks_.SetOnRead([this] {
        bool changed = false;
        {
            auto lock = Lock();
            changed = ComposeList();
        }
        if (changed) NotifyListChanged();
    });
}

void CStartupManager::SetLists(ListSet written, ListSet listed) {
    auto lock = Lock();
    written_ = written;
    listed_ = listed;
}

ListSet CStartupManager::WrittenLists() {
    auto lock = Lock();
    return written_;
}

EntryList CStartupManager::CopyList() {
    auto lock = Lock();
    return list_;
}

void CStartupManager::SetListChangedCallback(std::function<void()> callback) {
    const std::lock_guard<std::mutex> guard(callbackMutex_);
    listChanged_ = std::move(callback);
}

void CStartupManager::NotifyListChanged() {
    std::function<void()> callback;
    {
        const std::lock_guard<std::mutex> guard(callbackMutex_);
        callback = listChanged_;
    }
    if (callback) callback();
}

void CStartupManager::FillCompaniesIfRead(EntryList& entries) {
    if (readsCompanies_) FillCompanies(entries);
}

int CStartupManager::MarkPresentInBoth(const char* name) {
    auto lock = Lock();
    return ::MarkPresentInBoth(list_, name);
}

void CStartupManager::SetLauncher(Launcher replacement) {
    const std::lock_guard<std::mutex> guard(launcherMutex);
    launcher = std::move(replacement);
}

bool CStartupManager::LaunchCommand(const char* command) {
    Launcher launch;
    {
        const std::lock_guard<std::mutex> guard(launcherMutex);
        launch = launcher;
    }
    return launch ? launch(command) : launch::LaunchCommand(command);
}

bool CStartupManager::LaunchAll(EntryList copy) {
    for (const StartupEntry& entry : copy) {  // a failed start does not stop the others
        if (entry.origin == Origin::TaskScheduler) continue;
        PrintLine("Data %s\n", entry.command);
        LaunchCommand(entry.command);
    }
    return true;
}

bool CStartupManager::LaunchEntry(const StartupEntry& entry) {
    if (entry.origin == Origin::TaskScheduler) return RunLogonTask(tasks_.Factory(), entry.name);
    return LaunchCommand(entry.command);
}

std::optional<CStartupManager::KeysLock> CStartupManager::LockKeys() {
    KeysLock lock;
    if (WrittenLists() & ListBit(kUserList)) {
        lock.account = win::AccountLock::Take(kAccountLockWaitMs);
        if (!lock.account.Held()) {
            PrintLine("Keys not changed, another Pacewick of this account holds them (%lu): "
                      "every value stays where it is\n",
                      static_cast<unsigned long>(lock.account.Error()));
            return std::nullopt;
        }
    }
    lock.engine = Lock();
    return lock;
}

int CStartupManager::RegisterSelf(const char* selfCommand) {
    auto lock = Lock();
    if (!(written_ & ListBit(kMachineList))) return 0;
    OpenedList machine(StartupLists()[kMachineList]);
    if (machine.OpenRun(KEY_SET_VALUE) != ERROR_SUCCESS) return 0;
    return transfer::PutText(machine.run.Get(), keys::kSelfValueName, selfCommand ? selfCommand : "");
}

LONG CStartupManager::DeleteBackupEntry(const char* name, int hive) {
    const auto lock = LockKeys();
    if (!lock) return static_cast<LONG>(WAIT_TIMEOUT);
    if (hive != 0 && hive != 1) return hive;
    const std::size_t row = hive == 0 ? kUserList : kMachineList;
    if (!(written_ & ListBit(row))) return ERROR_ACCESS_DENIED;
    OpenedList list(StartupLists()[row]);
    const LONG status = list.OpenBackUp(KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return status;
    return transfer::DeleteNamed(list.backUp.Get(), registry::ValueName::FromText(name ? name : ""));
}

bool CStartupManager::DeleteEntry(const StartupEntry& entry) {
    const auto lock = LockKeys();
    if (!lock) return false;
    // Every BackUp key that keeps the name loses it: a name kept in two must
    // not come back from the other at the next take-over.
    bool changed = false;
    for (std::size_t row = 0; row < StartupLists().size(); ++row) {
        if (!(entry.lists & written_ & ListBit(row))) continue;
        OpenedList list(StartupLists()[row]);
        const LONG status = list.OpenBackUp(KEY_SET_VALUE);
        changed |= status != ERROR_SUCCESS ||
                   transfer::DeleteNamed(list.backUp.Get(), registry::ValueName::FromText(entry.name)) != 0;
    }
    return changed;
}

void CStartupManager::BackUpRunKeys() {
    const auto lock = LockKeys();
    if (!lock) return;
    for (OpenedList& list : ListsOf(written_)) {
        if (list.TurnedOff()) continue;
        if (list.OpenRun(kReadAccess) == ERROR_SUCCESS && list.OpenBackUp(kWriteAccess) == ERROR_SUCCESS)
            sweep::BackUpValues(list.list, list.run.Get(), list.backUp.Get());
    }
}

EntryList CStartupManager::ListBackUpKeys(unsigned long long* generation) {
    auto lock = Lock();
    *generation = ++generation_;
    EntryList entries;
    // The current user's key first: its entries win the duplicate rule.
    for (std::size_t row = 0; row < StartupLists().size(); ++row) {
        if (!(listed_ & ListBit(row))) continue;
        OpenedList opened(StartupLists()[row]);
        if (!opened.TurnedOff() && opened.OpenBackUp(kReadAccess) == ERROR_SUCCESS)
            sweep::ListValues(opened.list, opened.backUp.Get(), entries, ListBit(row));
    }
    // The tasks do not change with the Run keys: take-overs ask for them once,
    // the rebuilds that the user causes (a start, a deletion, a restore) each
    // time. They belong to a user's list: a process that lists no user's
    // entries (the keeper service) never asks the Task Scheduler.
    if (listed_ & ListBit(kUserList)) tasks_.RequestFirstRead();
    return entries;
}

EntryList CStartupManager::ListBackUpKeysAndAskForTasks(unsigned long long* generation) {
    EntryList entries = ListBackUpKeys(generation);
    if (listed_ & ListBit(kUserList)) tasks_.Request();  // read afresh on the task reader's thread
    return entries;
}

// The logon tasks go in front of the BackUp keys' entries, without the duplicate rule.
EntryList CStartupManager::WithTasks(const EntryList& entries) {
    EntryList list = entries;
    for (const StartupEntry& task : tasks_.Latest()) list.InsertFront(task);
    return list;
}

namespace {

bool SameEntries(const EntryList& one, const EntryList& other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](const auto& a, const auto& b) {
        return std::strcmp(a.name, b.name) == 0 && std::strcmp(a.command, b.command) == 0 &&
               std::strcmp(a.company, b.company) == 0 && a.origin == b.origin && a.lists == b.lists;
    });
}

}  // namespace

bool CStartupManager::ComposeList() {
    EntryList composed = WithTasks(backUpEntries_);
    if (SameEntries(composed, list_)) return false;
    list_ = std::move(composed);
    return true;
}

void CStartupManager::Publish(EntryList entries, unsigned long long generation) {
    FillCompaniesIfRead(entries);
    {
        auto lock = Lock();
        if (generation < published_) return;
        published_ = generation;
        backUpEntries_ = std::move(entries);
        if (!ComposeList()) return;  // the window need not refill an unchanged list
    }
    NotifyListChanged();
}

bool CStartupManager::RebuildList(EntryList& list) {
    unsigned long long generation = 0;
    EntryList entries = ListBackUpKeysAndAskForTasks(&generation);
    if (&list == &list_) {
        Publish(std::move(entries), generation);
    } else {
        FillCompaniesIfRead(entries);
        list = WithTasks(entries);
    }
    return true;
}

int CStartupManager::RemoveListedFromRun(EntryList copy) {
    const auto lock = LockKeys();
    if (!lock) return 0;
    // Each Run value is deleted only while its own list's BackUp key keeps an
    // identical copy that the list can launch: a name listed from another list
    // or from a logon task, a missing BackUp key, a failed back-up or a value
    // rewritten since it was backed up all leave the value where it is.
    // A list that policy turns off, and an entry switched off, stay as they are.
    std::vector<OpenedList> lists;
    std::vector<StartupSwitches> switches;
    for (OpenedList& list : ListsOf(written_)) {
        if (list.TurnedOff()) continue;
        list.OpenRun(kWriteAccess);
        list.OpenBackUp(kReadAccess);
        switches.emplace_back(list.list.root, list.list.approvedPath);
        lists.push_back(std::move(list));
    }
    for (const StartupEntry& entry : copy) {
        const registry::ValueName name = registry::ValueName::FromText(entry.name);
        for (std::size_t row = 0; row < lists.size(); ++row) {
            transfer::DeleteIfKept(lists[row].run.Get(), lists[row].backUp.Get(), name, [&](const RegValueBlob& value) {
                return !transfer::FitsAnEntry(value) ? "it cannot be listed"
                       : switches[row].Off(name.wide) ? "it is switched off"
                                                      : nullptr;
            });
        }
    }
    return 1;
}

bool CStartupManager::RestoreAll() {
    bool everyProgramInRun = true;
    unsigned long long generation = 0;
    EntryList entries;
    {
        const auto lock = LockKeys();
        if (!lock) return false;
        entries = ListBackUpKeysAndAskForTasks(&generation);
        std::vector<OpenedList> lists = ListsOf(written_);
        for (OpenedList& list : lists) {
            const bool runOpened = list.OpenRun(kWriteAccess) == ERROR_SUCCESS;
            // A BackUp key that cannot be changed is still read below, so that each
            // value it keeps is reported.
            const bool backUpOpened = list.OpenBackUp(kWriteAccess) == ERROR_SUCCESS;
            if (!backUpOpened) list.OpenBackUp(kReadAccess);
            if (runOpened && backUpOpened) sweep::RestoreValues(list.list, list.backUp.Get(), list.run.Get());
        }
        // A BackUp value goes only once its Run key holds it again, exactly.
        for (const StartupEntry& entry : WithTasks(entries)) {
            const registry::ValueName name = registry::ValueName::FromText(entry.name);
            for (OpenedList& list : lists) transfer::DeleteIfKept(list.backUp.Get(), list.run.Get(), name);
        }
        for (OpenedList& list : lists) everyProgramInRun = NoneLeftOnlyInBackUp(list) && everyProgramInRun;
    }
    Publish(std::move(entries), generation);  // the list keeps what was restored
    return everyProgramInRun;
}

void CStartupManager::TakeOver() {
    unsigned long long generation = 0;
    EntryList entries;
    {
        const auto lock = LockKeys();
        if (!lock) return;
        BackUpRunKeys();
        entries = ListBackUpKeys(&generation);
        RemoveListedFromRun(WithTasks(entries));
    }
    Publish(std::move(entries), generation);
}

void CStartupManager::SetTaskSchedulerFactory(TaskSchedulerFactory factory) {
    tasks_.SetFactory(std::move(factory));
}

bool CStartupManager::WaitForLogonTasks(DWORD timeoutMs) { return tasks_.WaitForReads(timeoutMs); }
