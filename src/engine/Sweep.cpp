// The one pass over every value of a key, in its three uses: back up a Run key,
// list a BackUp key, restore a BackUp key into its Run key.
#include "engine/Sweep.h"

#include <cstring>

#include "engine/StartupManager.h"
#include "engine/ValueTransfer.h"
#include "engine/model/StartupLists.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "registry/ValueWalk.h"
#include "sources/BackUpEntries.h"
#include "sources/Companies.h"
#include "win/Diagnostics.h"

namespace sweep {
namespace {

bool IsOwnValue(const char* name) { return std::strcmp(name, keys::kSelfValueName) == 0; }

// The copy is exact, whatever the size or type: the text a value spells is only
// what the list shows and launches.
void CopyValues(HKEY source, HKEY destination, bool keepChanged) {
    registry::WalkValueNames(source, [&](const char* name) {
        if (!IsOwnValue(name)) transfer::CopyValue(source, destination, name, keepChanged);
    });
}

}  // namespace

void BackUpValues(HKEY run, HKEY backUp) { CopyValues(run, backUp, false); }

void RestoreValues(HKEY backUp, HKEY run) { CopyValues(backUp, run, true); }

void ListValues(HKEY backUp, EntryList& list, Origin origin, ListSet lists) {
    for (const StartupEntry& entry : ReadBackUpEntries(backUp, origin, lists))
        if (!MarkPresentInBoth(list, entry.name, lists)) list.InsertFront(entry);
}

}  // namespace sweep

std::string CStartupManager::ReadValueText(HKEY key, const char* name) {
    RegValueBlob value;
    if (RegistryAccess().ReadValue(key, name, &value) == ERROR_SUCCESS) return TextOf(value);
    PrintLine("Reg entry put UNSUCCESSFUL!!\n");
    return std::string();
}

int CStartupManager::PutOrDeleteValue(HKEY key, int put, const char* name, const char* data) {
    return put ? transfer::PutText(key, name, data ? data : "") : transfer::DeleteNamed(key, name);
}

std::string CStartupManager::ProgramPathFromCommand(const std::string& command) {
    return ::ProgramPathFromCommand(command);
}

void CStartupManager::SweepKey(HKEY source, EntryList* list, int originSelector, int copyFlag, HKEY destination,
                               bool keepChanged) {
    auto lock = Lock();
    if (copyFlag == 1) {
        keepChanged ? sweep::RestoreValues(source, destination) : sweep::BackUpValues(source, destination);
    }
    if (list) {
        const std::size_t row = originSelector == 1 ? kUserList : kMachineList;
        sweep::ListValues(source, *list, StartupLists()[row].origin, ListBit(row));
    }
}
