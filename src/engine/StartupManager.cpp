#include "engine/StartupManager.h"

#include <vector>

#include "engine/Launch.h"
#include "engine/Sweep.h"
#include "engine/ValueTransfer.h"
#include "engine/model/StartupLists.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"

namespace {

using registry::kReadAccess;
using registry::kWriteAccess;

// One start-up list's Run and BackUp keys, as one operation opens them.
struct OpenedList {
    const StartupList& list;
    registry::Key run;
    registry::Key backUp;

    explicit OpenedList(const StartupList& startupList) : list(startupList) {}
    LONG OpenRun(REGSAM access) { return run.Open(list.root, list.runPath, access | list.view); }
    LONG OpenBackUp(REGSAM access) { return backUp.Open(list.root, list.backUpPath, access | list.view); }
};

std::vector<OpenedList> EveryList() {
    std::vector<OpenedList> opened;
    for (const StartupList& list : StartupLists()) opened.emplace_back(list);
    return opened;
}

}  // namespace

CStartupManager* CStartupManager::GetInstance() {
    // Never destroyed: monitor threads may still use it while the process ends.
    static CStartupManager* const instance = new CStartupManager();
    return instance;
}

EntryList CStartupManager::CopyList() {
    auto lock = Lock();
    return list_;
}

int CStartupManager::MarkPresentInBoth(const char* name) {
    auto lock = Lock();
    return ::MarkPresentInBoth(list_, name);
}

bool CStartupManager::LaunchCommand(const char* command) { return launch::LaunchCommand(command); }

bool CStartupManager::LaunchAll(EntryList copy) {
    for (const StartupEntry& entry : copy) {  // a failed start does not stop the others
        PrintLine("Data %s\n", entry.command);
        launch::LaunchCommand(entry.command);
    }
    return true;
}

int CStartupManager::RegisterSelf(const char* selfCommand) {
    auto lock = Lock();
    OpenedList machine(StartupLists()[kMachineList]);
    if (machine.OpenRun(KEY_SET_VALUE) != ERROR_SUCCESS) return 0;
    return transfer::PutText(machine.run.Get(), keys::kSelfValueName, selfCommand ? selfCommand : "");
}

LONG CStartupManager::DeleteBackupEntry(const char* name, int hive) {
    auto lock = Lock();
    if (hive != 0 && hive != 1) return hive;
    OpenedList list(StartupLists()[hive == 0 ? kUserList : kMachineList]);
    const LONG status = list.OpenBackUp(KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return status;
    return transfer::DeleteNamed(list.backUp.Get(), name);
}

bool CStartupManager::DeleteEntry(const StartupEntry& entry) {
    auto lock = Lock();
    // Every BackUp key that keeps the name loses it: a name kept in two must
    // not come back from the other at the next take-over.
    bool changed = false;
    for (std::size_t row = 0; row < StartupLists().size(); ++row) {
        if (!(entry.lists & ListBit(row))) continue;
        OpenedList list(StartupLists()[row]);
        const LONG status = list.OpenBackUp(KEY_SET_VALUE);
        changed |= status != ERROR_SUCCESS || transfer::DeleteNamed(list.backUp.Get(), entry.name) != 0;
    }
    return changed;
}

void CStartupManager::BackUpRunKeys() {
    auto lock = Lock();
    for (OpenedList& list : EveryList()) {
        if (list.OpenRun(kReadAccess) == ERROR_SUCCESS && list.OpenBackUp(kWriteAccess) == ERROR_SUCCESS)
            sweep::BackUpValues(list.run.Get(), list.backUp.Get());
    }
}

bool CStartupManager::RebuildList(EntryList& list) {
    auto lock = Lock();
    list.Clear();
    // The current user's key first: its entries win the duplicate rule.
    std::size_t row = 0;
    for (OpenedList& opened : EveryList()) {
        if (opened.OpenBackUp(kReadAccess) == ERROR_SUCCESS)
            sweep::ListValues(opened.backUp.Get(), list, opened.list.origin, ListBit(row));
        ++row;
    }
    AddLogonTasks();
    return true;
}

int CStartupManager::RemoveListedFromRun(EntryList copy) {
    auto lock = Lock();
    // Each Run value is deleted only while its own list's BackUp key keeps an
    // identical copy that the list can launch: a name listed from another list
    // or from a logon task, a missing BackUp key, a failed back-up or a value
    // rewritten since it was backed up all leave the value where it is.
    std::vector<OpenedList> lists = EveryList();
    for (OpenedList& list : lists) {
        list.OpenRun(kWriteAccess);
        list.OpenBackUp(kReadAccess);
    }
    for (const StartupEntry& entry : copy) {
        for (OpenedList& list : lists)
            transfer::DeleteIfKept(list.run.Get(), list.backUp.Get(), entry.name, transfer::FitsAnEntry);
    }
    return 1;
}

bool CStartupManager::RestoreAll() {
    auto lock = Lock();
    RebuildList(list_);
    std::vector<OpenedList> lists = EveryList();
    for (OpenedList& list : lists) {
        const bool runOpened = list.OpenRun(kWriteAccess) == ERROR_SUCCESS;
        // A BackUp key that cannot be changed is still read below, so that each
        // value it keeps is reported.
        const bool backUpOpened = list.OpenBackUp(kWriteAccess) == ERROR_SUCCESS;
        if (!backUpOpened) list.OpenBackUp(kReadAccess);
        if (runOpened && backUpOpened) sweep::RestoreValues(list.backUp.Get(), list.run.Get());
    }
    // A BackUp value goes only once its Run key holds it again, exactly.
    for (const StartupEntry& entry : list_) {
        for (OpenedList& list : lists) transfer::DeleteIfKept(list.backUp.Get(), list.run.Get(), entry.name);
    }
    return true;
}

void CStartupManager::TakeOver() {
    auto lock = Lock();
    BackUpRunKeys();
    RebuildList(list_);
    RemoveListedFromRun(CopyList());
}

void CStartupManager::SetTaskSchedulerFactory(TaskSchedulerFactory factory) {
    auto lock = Lock();
    taskSchedulerFactory_ = std::move(factory);
}

void CStartupManager::AddLogonTasks() {
    auto lock = Lock();
    for (const StartupEntry& entry : ReadLogonTasks(taskSchedulerFactory_)) list_.InsertFront(entry);
}
