// The one pass over every value of a key, in its three uses: back up a Run key,
// list a BackUp key, restore a BackUp key into its Run key.
#include "engine/Sweep.h"

#include <cstring>
#include <string>
#include <vector>

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

// Calls `use` with every value of the key but the program's own, read whole.
template <typename Use>
void ForEachValue(HKEY key, Use use) {
    registry::WalkValueNames(key, [&](const char* name) {
        RegValueBlob value;
        if (IsOwnValue(name)) return;
        if (RegistryAccess().ReadWholeValue(key, name, &value) != ERROR_SUCCESS) transfer::ReportPut(false);
        else use(name, value);
    });
}

}  // namespace

// The copy is exact, whatever the type: the text a value spells is only what
// the list shows and launches. A value the list could not show stays where it
// is, for Windows to start: a copy of it would only be a stale double.
void BackUpValues(HKEY run, HKEY backUp) {
    ForEachValue(run, [&](const char* name, const RegValueBlob& value) {
        if (transfer::Listable(name, value)) transfer::PutCopy(backUp, name, value, false);
        else PrintLine("Reg entry kept, it cannot be listed: %s\n", name);
    });
}

// Such a stale double, left by an earlier version, never left its Run key: it
// is not copied back (its owner may have removed the Run value since) but dropped.
void RestoreValues(HKEY backUp, HKEY run) {
    std::vector<std::string> stale;  // deleted after the walk, which goes by index
    ForEachValue(backUp, [&](const char* name, const RegValueBlob& value) {
        if (transfer::Listable(name, value)) transfer::PutCopy(run, name, value, true);
        else stale.emplace_back(name);
    });
    for (const std::string& name : stale) transfer::DeleteNamed(backUp, name.c_str());
}

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
    if (copyFlag == 1) {
        keepChanged ? sweep::RestoreValues(source, destination) : sweep::BackUpValues(source, destination);
    }
    if (list) {
        const std::size_t row = originSelector == 1 ? kUserList : kMachineList;
        sweep::ListValues(source, *list, StartupLists()[row].origin, ListBit(row));
        FillCompanies(*list);
    }
}
