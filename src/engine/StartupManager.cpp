#include "engine/StartupManager.h"

#include <cstring>
#include <string>
#include <vector>

#include "engine/Diagnostics.h"
#include "engine/ValueTransfer.h"
#include "registry/RegistryKeys.h"

namespace {

// Opens a key afresh into its member; the member's earlier handle is closed.
bool Open(win::UniqueKey& member, HKEY hive, const char* path, REGSAM access) {
    return RegOpenKeyExA(hive, path, 0, access, member.Put()) == ERROR_SUCCESS;
}

// Windows expands the environment references of expandable Run values before it
// starts them; the delayed start does the same, so %ProgramFiles% and the like work.
std::vector<char> ExpandedCommand(const char* command) {
    std::vector<char> expanded(MAX_PATH);
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsA(command, expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0) break;  // cannot expand: start the command as written
        if (needed <= expanded.size()) return expanded;
        expanded.resize(needed);
    }
    const std::size_t length = std::strlen(command);
    return std::vector<char>(command, command + length + 1);
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
    int found = 0;
    for (StartupEntry& entry : list_) {
        if (std::strcmp(entry.name, name) == 0) {
            SetField(entry.origin, origin::kBoth);
            found = 1;
        }
    }
    return found;
}

bool CStartupManager::LaunchCommand(char* command) {
    auto lock = Lock();
    std::vector<char> commandLine = ExpandedCommand(command ? command : "");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        PrintLine("CreateProcess failed (%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    // The program runs on its own; nothing here waits for it or keeps its handles.
    win::UniqueHandle processHandle(process.hProcess);
    win::UniqueHandle threadHandle(process.hThread);
    return true;
}

bool CStartupManager::LaunchAll(EntryList copy) {
    auto lock = Lock();
    for (StartupEntry& entry : copy) {
        PrintLine("Data %s\n", entry.command);
        LaunchCommand(entry.command);
    }
    copy.Clear();
    return true;
}

int CStartupManager::RegisterSelf(const char* selfCommand) {
    auto lock = Lock();
    if (!Open(machineRun_, HKEY_LOCAL_MACHINE, keys::kRun, KEY_ALL_ACCESS)) return 0;
    return PutOrDeleteValue(machineRun_.Get(), 1, keys::kSelfValueName, selfCommand);
}

LONG CStartupManager::DeleteBackupEntry(const char* name, int hive) {
    auto lock = Lock();
    if (hive != 0 && hive != 1) return hive;
    win::UniqueKey& backUp = hive == 0 ? userBackUp_ : machineBackUp_;
    const LONG status = RegOpenKeyExA(hive == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, keys::kBackUp, 0,
                                      KEY_ALL_ACCESS, backUp.Put());
    if (status != ERROR_SUCCESS) return status;
    return PutOrDeleteValue(backUp.Get(), 0, name, nullptr);
}

void CStartupManager::BackUpRunKeys() {
    auto lock = Lock();
    for (const Hive& hive : {User(), Machine()}) {
        if (Open(hive.run, hive.root, keys::kRun, KEY_READ) &&
            Open(hive.backUp, hive.root, keys::kBackUp, KEY_ALL_ACCESS))
            SweepKey(hive.run.Get(), nullptr, 0, 1, hive.backUp.Get());
    }
}

bool CStartupManager::RebuildList(EntryList& list) {
    auto lock = Lock();
    list.Clear();
    // The current user's key first: its entries win the duplicate rule.
    for (const Hive& hive : {User(), Machine()}) {
        if (Open(hive.backUp, hive.root, keys::kBackUp, KEY_READ))
            SweepKey(hive.backUp.Get(), &list, hive.root == HKEY_CURRENT_USER ? 1 : 0, 0, nullptr);
    }
    AddLogonTasks();
    return true;
}

int CStartupManager::RemoveListedFromRun(EntryList copy) {
    auto lock = Lock();
    // Each Run value is deleted only while its own hive's BackUp key keeps an
    // identical copy that the list can launch: a name listed from the other hive
    // or from a logon task, a missing BackUp key, a failed back-up or a value
    // rewritten since it was backed up all leave the value where it is.
    for (const Hive& hive : {User(), Machine()}) {
        Open(hive.run, hive.root, keys::kRun, KEY_ALL_ACCESS);
        Open(hive.backUp, hive.root, keys::kBackUp, KEY_READ);
    }
    for (const StartupEntry& entry : copy) {
        for (const Hive& hive : {User(), Machine()})
            transfer::DeleteIfKept(hive.run.Get(), hive.backUp.Get(), entry.name, transfer::FitsAnEntry);
    }
    copy.Clear();
    return 1;
}

bool CStartupManager::RestoreAll() {
    auto lock = Lock();
    RebuildList(list_);
    for (const Hive& hive : {User(), Machine()}) {
        if (Open(hive.run, hive.root, keys::kRun, KEY_ALL_ACCESS) &&
            Open(hive.backUp, hive.root, keys::kBackUp, KEY_ALL_ACCESS))
            SweepKey(hive.backUp.Get(), nullptr, 0, 1, hive.run.Get(), true);
    }
    // A BackUp value goes only once its Run key holds it again, exactly.
    for (const StartupEntry& entry : list_) {
        for (const Hive& hive : {User(), Machine()})
            transfer::DeleteIfKept(hive.backUp.Get(), hive.run.Get(), entry.name);
    }
    return true;
}

void CStartupManager::TakeOver() {
    auto lock = Lock();
    BackUpRunKeys();
    RebuildList(list_);
    RemoveListedFromRun(CopyList());
}
