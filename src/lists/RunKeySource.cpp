// A Run key and its BackUp key, walked value by value (the sweep) in its three
// uses: back up the Run key, list the BackUp key, restore the BackUp key.
#include "lists/RunKeySource.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "lists/ValueTransfer.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "registry/ValueWalk.h"
#include "sources/ExplorerSwitches.h"
#include "win/Text.h"

namespace lists {
namespace {

using registry::kReadAccess;
using registry::kWriteAccess;
using registry::ValueName;

bool IsOwnValue(const ValueName& name) { return name.text == keys::kSelfValueName; }

const char* UnlistableReason(const RegValueBlob& value) {
    return transfer::FitsAnEntry(value) ? nullptr : "it cannot be listed";
}

// Calls `use` with every value of the key but the program's own, read whole; a
// value that cannot be read is reported as a copy that failed.
template <typename Use>
void ForEachValue(HKEY key, ItemPlace copiedTo, const Reporter& report, Use use) {
    registry::WalkValueNames(key, [&](const ValueName& name) {
        RegValueBlob value;
        if (IsOwnValue(name)) return;
        if (RegistryAccess().ReadWholeValue(key, name.wide, &value) != ERROR_SUCCESS)
            report(ItemHappened::CopyFailed, copiedTo, name.text);
        else use(name, value);
    });
}

// The entry a BackUp value lists as; none, with the reason reported, when the
// value cannot be listed (a cut name or command would name another value or program).
bool ReadEntry(const ValueName& name, const RegValueBlob& value, StartupEntry& entry, const Reporter& report) {
    const auto command = CommandText(value);
    if (!command || !name.exact) {
        report(ItemHappened::NotListed, ItemPlace::Held, name.text, "its data cannot be read as text");
        return false;
    }
    if (!SetField(entry.command, command->c_str()) || !SetField(entry.name, name.text.c_str())) {
        report(ItemHappened::NotListed, ItemPlace::Held, name.text, "its name or command is too long");
        return false;
    }
    return true;
}

}  // namespace

LONG RunKeySource::OpenRun(registry::Key& key, REGSAM access) const {
    return key.Open(place_.root, win::WidenAscii(place_.runPath), access | place_.view);
}

LONG RunKeySource::OpenBackUp(registry::Key& key, REGSAM access) const {
    return key.Open(place_.root, win::WidenAscii(place_.backUpPath), access | place_.view);
}

bool RunKeySource::TurnedOff() const { return TurnedOffByPolicy(place_.disablingPolicy); }

// The copy is exact, whatever the type: the text a value spells is only what
// the list shows and launches. A value the list could not show stays where it
// is, for Windows to start: a copy of it would only be a stale double. One
// switched off stays where Task Manager shows it, off.
void RunKeySource::BackUp(const Reporter& report) {
    registry::Key run;
    registry::Key backUp;
    if (OpenRun(run, kReadAccess) != ERROR_SUCCESS || OpenBackUp(backUp, kWriteAccess) != ERROR_SUCCESS) return;
    const StartupSwitches switches(place_.root, place_.approvedPath);
    ForEachValue(run.Get(), ItemPlace::Held, report, [&](const ValueName& name, const RegValueBlob& value) {
        if (!transfer::Listable(name, value)) report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it cannot be listed");
        else if (switches.Off(name.wide)) report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it is switched off");
        else transfer::PutCopy(backUp.Get(), ItemPlace::Held, name, value, transfer::IfDiffering::Overwrite, report);
    });
}

void RunKeySource::ListHeld(EntryList& list, ListSet bit, const Reporter& report) {
    registry::Key backUp;
    if (OpenBackUp(backUp, kReadAccess) != ERROR_SUCCESS) return;
    const StartupSwitches switches(place_.root, place_.approvedPath);
    // The names listed so far, so that the duplicate rule need not walk the list per value.
    std::unordered_set<std::string> listed;
    for (const StartupEntry& entry : list) listed.insert(entry.name);
    registry::WalkValueNames(backUp.Get(), [&](const ValueName& name) {
        RegValueBlob value;
        if (RegistryAccess().ReadWholeValue(backUp.Get(), name.wide, &value) != ERROR_SUCCESS) {
            report(ItemHappened::CopyFailed, ItemPlace::StartUp, name.text);
            report(ItemHappened::NotListed, ItemPlace::Held, name.text, "its data cannot be read as text");
            return;
        }
        StartupEntry entry;
        if (!ReadEntry(name, value, entry, report)) return;
        if (switches.Off(name.wide)) {
            report(ItemHappened::NotListed, ItemPlace::Held, name.text, "it is switched off");
        } else if (!listed.count(entry.name) ||
                   !MarkPresentInBoth(list, entry.name, bit, place_.origin, entry.command)) {
            entry.origin = place_.origin;
            entry.lists = bit;
            list.InsertFront(entry);
            listed.insert(entry.name);
        }
    });
}

// Each Run value is deleted only while this key's BackUp key keeps an identical
// copy that the list can launch: a missing BackUp key, a failed back-up or a
// value rewritten since it was backed up leave the value where it is, and so
// does an entry switched off meanwhile.
void RunKeySource::RemoveHeld(const EntryList& listed, ListSet bit, const Reporter& report) {
    registry::Key run;
    registry::Key backUp;
    OpenRun(run, kWriteAccess);
    OpenBackUp(backUp, kReadAccess);
    const StartupSwitches switches(place_.root, place_.approvedPath);
    for (const StartupEntry& entry : listed) {
        if (!(entry.lists & bit)) continue;
        const ValueName name = ValueName::FromText(entry.name);
        // The switch is read first: between the comparison and the deletion
        // nothing else may come, since a program may rewrite its value meanwhile.
        if (switches.Off(name.wide)) {
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it is switched off");
            continue;
        }
        transfer::DeleteIfKept(run.Get(), ItemPlace::StartUp, backUp.Get(), name, report, UnlistableReason);
    }
}

// The names are read first: the walk goes by index, which a deletion shifts.
// Each value is read once and copied, its entry put in front of `moved` (a
// reading of the BackUp key lists the value written last first); then each
// copied value is deleted once its copy is proven identical, the last first:
// Wine's server keeps a key's values sorted and moves every value behind a
// deletion or an insertion, so copying in the walk's order and deleting in
// the reverse costs O(1) a value, and any one order for both O(N). A stop ends
// the copying; the values copied are still deleted, so that none is left half
// moved, and the rest stay whole in the Run key. Only values that BackUp would
// copy are taken (the same lines for those it keeps), and a deletion is tried
// only for a value there.
void RunKeySource::MoveIn(EntryList& moved, ListSet bit, const Reporter& report, const StopAsked& stop) {
    registry::Key run;
    registry::Key backUp;
    if (OpenRun(run, kWriteAccess) != ERROR_SUCCESS || OpenBackUp(backUp, kWriteAccess) != ERROR_SUCCESS) return;
    std::vector<ValueName> names;
    registry::WalkValueNames(run.Get(), [&](const ValueName& name) {
        if (!IsOwnValue(name)) names.push_back(name);
    });
    const StartupSwitches switches(place_.root, place_.approvedPath);
    std::vector<ValueName> copied;
    for (const ValueName& name : names) {
        if (stop && stop()) break;
        RegValueBlob value;
        StartupEntry entry;
        if (RegistryAccess().ReadWholeValue(run.Get(), name.wide, &value) != ERROR_SUCCESS)
            report(ItemHappened::CopyFailed, ItemPlace::Held, name.text);
        else if (!transfer::Listable(name, value))
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it cannot be listed");
        else if (switches.Off(name.wide))
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it is switched off");
        else if (transfer::PutCopy(backUp.Get(), ItemPlace::Held, name, value, transfer::IfDiffering::Overwrite,
                                   report)) {
            if (ReadEntry(name, value, entry, report)) {
                entry.origin = place_.origin;
                entry.lists = bit;
                moved.InsertFront(entry);
            }
            copied.push_back(name);
        }
    }
    for (auto last = copied.rbegin(); last != copied.rend(); ++last)
        transfer::DeleteIfKept(run.Get(), ItemPlace::StartUp, backUp.Get(), *last, report, UnlistableReason);
}

// Every value goes back, whatever it is, unless the Run key has a newer value
// of its name; it leaves its BackUp key only once the Run key holds it exactly.
// True when afterwards each value the BackUp key still holds has a value of its
// name in the Run key (a newer one, kept there): false means a program Windows
// would no longer start. A BackUp key that cannot be read fails the test.
bool RunKeySource::Restore(const Reporter& report) {
    registry::Key run;
    registry::Key backUp;
    const bool runOpened = OpenRun(run, kWriteAccess) == ERROR_SUCCESS;
    // A BackUp key that cannot be changed is still read, so that each value it keeps is reported.
    const bool backUpOpened = OpenBackUp(backUp, kWriteAccess) == ERROR_SUCCESS;
    if (!backUpOpened) {
        const LONG status = OpenBackUp(backUp, kReadAccess);
        if (status != ERROR_SUCCESS) return status == ERROR_FILE_NOT_FOUND;
    }
    if (runOpened && backUpOpened) {
        std::vector<ValueName> putBack;  // deleted after the walk, which goes by index
        ForEachValue(backUp.Get(), ItemPlace::StartUp, report, [&](const ValueName& name, const RegValueBlob& value) {
            transfer::PutCopy(run.Get(), ItemPlace::StartUp, name, value, transfer::IfDiffering::Keep, report);
            putBack.push_back(name);
        });
        for (const ValueName& name : putBack)
            transfer::DeleteIfKept(backUp.Get(), ItemPlace::Held, run.Get(), name, report);
    }
    bool none = true;
    const bool walked = registry::WalkValueNames(backUp.Get(), [&](const ValueName& name) {
        if (run && RegQueryValueExW(run.Get(), name.wide.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            return;
        report(ItemHappened::LeftOnlyHeld, ItemPlace::Held, name.text);
        none = false;
    });
    return walked && none;
}

bool RunKeySource::DeleteHeld(const StartupEntry& entry, const Reporter& report) {
    registry::Key backUp;
    if (OpenBackUp(backUp, KEY_SET_VALUE) != ERROR_SUCCESS) return true;
    return transfer::DeleteNamed(backUp.Get(), ItemPlace::Held, ValueName::FromText(entry.name), report);
}

bool RunKeySource::StartedByWindows(const StartupEntry& entry) const {
    registry::Key run;
    const std::wstring name = ValueName::FromText(entry.name).wide;
    return OpenRun(run, kReadAccess) == ERROR_SUCCESS &&
           RegQueryValueExW(run.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

WatchTarget RunKeySource::Watched(ItemPlace place) const {
    WatchTarget target;
    target.root = place_.root;
    target.path = place == ItemPlace::Held ? place_.backUpPath : place_.runPath;
    target.view = place_.view;
    return target;
}

}  // namespace lists
