// A Run key and its BackUp key, walked value by value (the sweep) in its three
// uses: back up the Run key, list the BackUp key, restore the BackUp key.
#include "lists/RunKeySource.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "lists/ValueTransfer.h"
#include "registry/RegistryKeys.h"
#include "registry/ValueWalk.h"
#include "sources/ExplorerSwitches.h"
#include "win/Text.h"

namespace lists {
namespace {

using registry::KeyRef;
using registry::kReadAccess;
using registry::kWriteAccess;
using registry::ValueName;

// An entry's value name, as the lines print it.
ValueName NameOf(const StartupEntry& entry) {
    const auto text = win::Utf8(entry.name);
    return ValueName{entry.name, text.value_or(win::Utf8ForDisplay(entry.name)), text.has_value()};
}

bool IsOwnValue(const ValueName& name) { return name.wide == keys::kSelfValueName; }

const char* UnlistableReason(const RegValueBlob& value) {
    return transfer::FitsAnEntry(value) ? nullptr : "it cannot be listed";
}

// Visits the name of every value of a key at `place`, as many as the key held
// when the walk began, reporting the walk as it goes: the subkeys (listed, never
// entered), the number of values, and each value before its visit. False, with
// no event, when the key cannot be queried at all.
template <typename Visit>
bool Walk(const KeyRef& key, ItemPlace place, const Reporter& report, Visit visit) {
    std::vector<std::wstring> subkeys;
    std::vector<ValueName> names;
    if (key.SubkeyNames(&subkeys) != ERROR_SUCCESS || registry::ValueNamesOf(key, &names) != ERROR_SUCCESS)
        return false;
    if (!subkeys.empty()) report.Walked(ItemHappened::SubkeysCounted, place, subkeys.size());
    for (std::size_t index = 0; index < subkeys.size(); ++index)
        report.Walked(ItemHappened::SubkeyFound, place, index + 1, win::Utf8ForDisplay(subkeys[index]));
    if (!names.empty()) report.Walked(ItemHappened::ValuesCounted, place, names.size());
    for (std::size_t index = 0; index < names.size(); ++index) {
        report.Walked(ItemHappened::ValueFound, place, index + 1, names[index].text);
        visit(names[index]);
    }
    return true;
}

// Calls `use` with every value of the key but the program's own, read whole; a
// value that cannot be read is reported as a copy that failed.
template <typename Use>
void ForEachValue(const KeyRef& key, ItemPlace copiedTo, const Reporter& report, Use use) {
    const ItemPlace walked = copiedTo == ItemPlace::Held ? ItemPlace::StartUp : ItemPlace::Held;
    Walk(key, walked, report, [&](const ValueName& name) {
        RegValueBlob value;
        if (IsOwnValue(name)) return;
        if (key.ReadValue(name.wide, &value) != ERROR_SUCCESS)
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
    if (!FitsEntry(*command) || !FitsEntry(name.text)) {
        report(ItemHappened::NotListed, ItemPlace::Held, name.text, "its name or command is too long");
        return false;
    }
    entry.name = name.wide;
    entry.command = win::Wide(*command).value_or(std::wstring());  // UTF-8 read from UTF-16: exact
    return true;
}

// Whether `leave` names the value's command; a value that is not text names no program.
bool Names(const LeftAlone& leave, const RegValueBlob& value) {
    if (!leave) return false;
    const auto command = CommandText(value);
    const auto wide = command ? win::Wide(*command) : std::nullopt;
    return wide && leave(*wide);
}

}  // namespace

LONG RunKeySource::OpenRun(registry::Key& key, REGSAM access) const {
    return place_.ownNamesOnly ? key.OpenOwnNames(place_.root, place_.runPath, access | place_.view)
                               : key.Open(place_.root, place_.runPath, access | place_.view);
}

LONG RunKeySource::OpenBackUp(registry::Key& key, REGSAM access) const {
    return place_.ownNamesOnly ? key.OpenOwnNames(place_.root, place_.backUpPath, access | place_.view)
                               : key.Open(place_.root, place_.backUpPath, access | place_.view);
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
    ForEachValue(run, ItemPlace::Held, report, [&](const ValueName& name, const RegValueBlob& value) {
        if (!transfer::Listable(name, value)) report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it cannot be listed");
        else if (switches.Off(name.wide)) report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it is switched off");
        else transfer::PutCopy(backUp, ItemPlace::Held, name, value, transfer::IfDiffering::Overwrite, report);
    });
}

void RunKeySource::ListHeld(EntryList& list, ListSet bit, const Reporter& report) {
    registry::Key backUp;
    if (OpenBackUp(backUp, kReadAccess) != ERROR_SUCCESS) return;
    const StartupSwitches switches(place_.root, place_.approvedPath);
    // The names listed so far, so that the duplicate rule need not walk the list per value.
    std::unordered_set<std::wstring> listed;
    for (const StartupEntry& entry : list) listed.insert(entry.name);
    Walk(backUp, ItemPlace::Held, report, [&](const ValueName& name) {
        RegValueBlob value;
        if (backUp.ReadValue(name.wide, &value) != ERROR_SUCCESS) {
            report(ItemHappened::CopyFailed, ItemPlace::StartUp, name.text);
            report(ItemHappened::NotListed, ItemPlace::Held, name.text, "its data cannot be read as text");
            return;
        }
        StartupEntry entry;
        if (!ReadEntry(name, value, entry, report)) return;
        if (switches.Off(name.wide)) {
            report(ItemHappened::NotListed, ItemPlace::Held, name.text, "it is switched off");
        } else if (!listed.count(entry.name) ||
                   !MarkPresentInBoth(list, entry.name, bit, place_.origin, &entry.command)) {
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
        const ValueName name = NameOf(entry);
        // The switch is read first: between the comparison and the deletion
        // nothing else may come, since a program may rewrite its value meanwhile.
        if (switches.Off(name.wide)) {
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it is switched off");
            continue;
        }
        transfer::DeleteIfKept(run, ItemPlace::StartUp, backUp, name, report, UnlistableReason);
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
void RunKeySource::MoveIn(EntryList& moved, ListSet bit, const Reporter& report, const StopAsked& stop,
                          const LeftAlone& leave) {
    registry::Key run;
    registry::Key backUp;
    if (OpenRun(run, kWriteAccess) != ERROR_SUCCESS || OpenBackUp(backUp, kWriteAccess) != ERROR_SUCCESS) return;
    std::vector<ValueName> names;
    Walk(run, ItemPlace::StartUp, report, [&](const ValueName& name) {
        if (!IsOwnValue(name)) names.push_back(name);
    });
    const StartupSwitches switches(place_.root, place_.approvedPath);
    std::vector<ValueName> copied;
    for (const ValueName& name : names) {
        if (stop && stop()) break;
        RegValueBlob value;
        StartupEntry entry;
        if (run.ReadValue(name.wide, &value) != ERROR_SUCCESS)
            report(ItemHappened::CopyFailed, ItemPlace::Held, name.text);
        else if (!transfer::Listable(name, value))
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it cannot be listed");
        else if (switches.Off(name.wide))
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, "it is switched off");
        else if (Names(leave, value))
            report(ItemHappened::Kept, ItemPlace::StartUp, name.text, kLeftAloneReason);
        else if (transfer::PutCopy(backUp, ItemPlace::Held, name, value, transfer::IfDiffering::Overwrite, report)) {
            if (ReadEntry(name, value, entry, report)) {
                entry.origin = place_.origin;
                entry.lists = bit;
                moved.InsertFront(entry);
            }
            copied.push_back(name);
        }
    }
    for (auto last = copied.rbegin(); last != copied.rend(); ++last)
        transfer::DeleteIfKept(run, ItemPlace::StartUp, backUp, *last, report, UnlistableReason);
}

// Every value goes back, whatever it is, unless the Run key has a newer value
// of its name; it leaves its BackUp key only once the Run key holds it exactly.
// True when afterwards each value the BackUp key still holds has a value of its
// name in the Run key (a newer one, kept there): false means a program Windows
// would no longer start. A BackUp key that cannot be read fails the test.
bool RunKeySource::Restore(const Reporter& report, const LeftAlone& only) {
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
        ForEachValue(backUp, ItemPlace::StartUp, report, [&](const ValueName& name, const RegValueBlob& value) {
            if (only && !Names(only, value)) return;
            transfer::PutCopy(run, ItemPlace::StartUp, name, value, transfer::IfDiffering::Keep, report);
            putBack.push_back(name);
        });
        for (const ValueName& name : putBack)
            transfer::DeleteIfKept(backUp, ItemPlace::Held, run, name, report);
    }
    bool none = true;
    const bool walked = Walk(backUp, ItemPlace::Held, report, [&](const ValueName& name) {
        if (run.FindValue(name.wide) == ERROR_SUCCESS) return;
        RegValueBlob value;
        if (only && (backUp.ReadValue(name.wide, &value) != ERROR_SUCCESS || !Names(only, value))) return;
        report(ItemHappened::LeftOnlyHeld, ItemPlace::Held, name.text);
        none = false;
    });
    return walked && none;
}

bool RunKeySource::DeleteHeld(const StartupEntry& entry, const Reporter& report) {
    registry::Key backUp;
    if (OpenBackUp(backUp, KEY_SET_VALUE) != ERROR_SUCCESS) return true;
    return transfer::DeleteNamed(backUp, ItemPlace::Held, NameOf(entry), report);
}

bool RunKeySource::StartedByWindows(const StartupEntry& entry) const {
    registry::Key run;
    return OpenRun(run, kReadAccess) == ERROR_SUCCESS && run.FindValue(entry.name) == ERROR_SUCCESS;
}

WatchTarget RunKeySource::Watched(ItemPlace place) const {
    WatchTarget target;
    target.root = place_.root;
    target.path = place == ItemPlace::Held ? place_.backUpPath : place_.runPath;
    target.view = place_.view;
    return target;
}

}  // namespace lists
