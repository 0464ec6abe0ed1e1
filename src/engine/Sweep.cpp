// The one pass over every value of a key, in its three uses: back up a Run key,
// list a BackUp key, restore a BackUp key into its Run key.
#include "engine/Sweep.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "engine/StartupManager.h"
#include "engine/ValueTransfer.h"
#include "engine/StartupLists.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "registry/ValueWalk.h"
#include "sources/BackUpEntries.h"
#include "sources/Companies.h"
#include "sources/ExplorerSwitches.h"
#include "win/Diagnostics.h"

namespace sweep {
namespace {

bool IsOwnValue(const registry::ValueName& name) { return name.text == keys::kSelfValueName; }

// Calls `use` with every value of the key but the program's own, read whole.
template <typename Use>
void ForEachValue(HKEY key, Use use) {
    registry::WalkValueNames(key, [&](const registry::ValueName& name) {
        RegValueBlob value;
        if (IsOwnValue(name)) return;
        if (RegistryAccess().ReadWholeValue(key, name.wide, &value) != ERROR_SUCCESS) transfer::ReportPut(false);
        else use(name, value);
    });
}

StartupSwitches SwitchesOf(const StartupList& startupList) {
    return StartupSwitches(startupList.root, startupList.approvedPath);
}

}  // namespace

// The copy is exact, whatever the type: the text a value spells is only what
// the list shows and launches. A value the list could not show stays where it
// is, for Windows to start: a copy of it would only be a stale double. One
// switched off stays where Task Manager shows it, off.
void BackUpValues(const StartupList& startupList, HKEY run, HKEY backUp) {
    const StartupSwitches switches = SwitchesOf(startupList);
    ForEachValue(run, [&](const registry::ValueName& name, const RegValueBlob& value) {
        if (!transfer::Listable(name, value)) PrintLine("Reg entry kept, it cannot be listed: %s\n", name.text.c_str());
        else if (switches.Off(name.wide)) PrintLine("Reg entry kept, it is switched off: %s\n", name.text.c_str());
        else transfer::PutCopy(backUp, name, value, false);
    });
}

// Every value goes back, whatever it is, unless the Run key has a newer value
// of its name; it leaves its BackUp key only once the Run key holds it exactly
// (a copy that earlier versions left beside its original included).
void RestoreValues(const StartupList& startupList, HKEY backUp, HKEY run) {
    // Deleted after the walk, which goes by index. Unlisted values are not
    // deleted with the listed names: they go once back in their Run key.
    std::vector<registry::ValueName> unlisted;
    const StartupSwitches switches = SwitchesOf(startupList);
    ForEachValue(backUp, [&](const registry::ValueName& name, const RegValueBlob& value) {
        if (!transfer::Listable(name, value) || switches.Off(name.wide)) unlisted.push_back(name);
        transfer::PutCopy(run, name, value, true);
    });
    for (const registry::ValueName& name : unlisted) transfer::DeleteIfKept(backUp, run, name);
}

void ListValues(const StartupList& startupList, HKEY backUp, EntryList& list, ListSet lists) {
    const StartupSwitches switches = SwitchesOf(startupList);
    // The names listed so far, so that the duplicate rule need not walk the list per value.
    std::unordered_set<std::string> listed;
    for (const StartupEntry& entry : list) listed.insert(entry.name);
    for (const StartupEntry& entry : ReadBackUpEntries(backUp, startupList.origin, lists)) {
        if (switches.Off(registry::ValueName::FromText(entry.name).wide)) {
            PrintLine("Entry not listed, it is switched off: %s\n", entry.name);
        } else if (!listed.count(entry.name) || !MarkPresentInBoth(list, entry.name, lists, entry.origin)) {
            list.InsertFront(entry);
            listed.insert(entry.name);
        }
    }
}

}  // namespace sweep

int CStartupManager::PutOrDeleteValue(HKEY key, int put, const char* name, const char* data) {
    return put ? transfer::PutText(key, name, data ? data : "")
               : transfer::DeleteNamed(key, registry::ValueName::FromText(name ? name : ""));
}

std::string CStartupManager::ProgramPathFromCommand(const std::string& command) {
    return ::ProgramPathFromCommand(command);
}

void CStartupManager::SweepKey(HKEY source, EntryList* list, int originSelector, int copyFlag, HKEY destination,
                               bool keepChanged) {
    const std::size_t row = originSelector == 1 ? kUserList : kMachineList;
    if (copyFlag == 1) {
        keepChanged ? sweep::RestoreValues(StartupLists()[row], source, destination)
                    : sweep::BackUpValues(StartupLists()[row], source, destination);
    }
    if (list) {
        sweep::ListValues(StartupLists()[row], source, *list, ListBit(row));
        FillCompaniesIfRead(*list);
    }
}
