#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "entry/EntryList.h"
#include "entry/ItemEvents.h"
#include "monitor/WatchTarget.h"

namespace lists {

// Whose start-up list a source is: the account's own, or the machine's (every
// account's), which only an administrator or the keeper service may change.
enum class Scope { User, Machine };

// Asked between items of a take-over: true once the process is ending.
using StopAsked = std::function<bool()>;

// Asked with the command Windows runs for an item (a Run value's data as text;
// for a Startup folder's file, its program's path in quotes: the file's own,
// or a shortcut's target): true when a policy keeps the item where Windows
// starts it. None names no item.
using LeftAlone = std::function<bool(const std::wstring& command)>;
// Why an item stays, in the lines.
constexpr const char* kLeftAloneReason = "the LeaveAlone policy names its program";

// Hands a source's events to the sink, stamped with the source's row.
struct Reporter {
    ItemEventSink& sink;
    std::size_t source;
    ItemKind kind;
    void operator()(ItemHappened what, ItemPlace place, const std::string& name,
                    const char* reason = nullptr) const {
        sink.Report(ItemEvent{what, place, kind, source, name, reason});
    }
    // A walk's event: `number` counts the items, or says which one `name` is.
    void Walked(ItemHappened what, ItemPlace place, std::size_t number, const std::string& name = std::string()) const {
        sink.Report(ItemEvent{what, place, kind, source, name, nullptr, number});
    }
};

// One kind of list Windows starts at log-on (a Run key, a Startup folder) and
// the BackUp place beside it that holds what Pacewick took from it. A source
// moves an item only once an identical copy is held, and puts it back the same
// way, so that every item is always in one place or the other, intact.
// Operations are called under the engine's lock; they read and write the
// registry and the file system only (no COM, no process start).
class StartupSource {
public:
    virtual ~StartupSource() = default;

    virtual Scope GetScope() const = 0;
    // What its items are, for the lines that report them.
    virtual ItemKind Kind() const = 0;
    // True when a policy tells Explorer not to start this whole list: it is then left alone.
    virtual bool TurnedOff() const = 0;

    // Copies every item Windows would start from here into the BackUp place,
    // exactly; an item the list could not show or that is switched off stays.
    virtual void BackUp(const Reporter& report) = 0;
    // Lists the held items in front of `list`, marked with `bit`, under the
    // duplicate rule (a name already listed is marked as kept in both).
    virtual void ListHeld(EntryList& list, ListSet bit, const Reporter& report) = 0;
    // Deletes from the start-up place each item of `listed` kept by this source
    // (its `lists` has `bit`) whose held copy is identical.
    virtual void RemoveHeld(const EntryList& listed, ListSet bit, const Reporter& report) = 0;
    // A take-over of what the start-up place holds now: BackUp, then RemoveHeld
    // of the items it copied, each entry put in front of `moved` (marked with
    // `bit`) once it is held. Between copies it asks `stop` (if any): what was
    // copied is still removed, and the items not reached stay where they are, whole.
    // An item `leave` names stays where it is, neither copied nor removed.
    virtual void MoveIn(EntryList& moved, ListSet bit, const Reporter& report, const StopAsked& stop,
                        const LeftAlone& leave = nullptr) = 0;
    // Puts every held item back; a different item of its name already in the
    // start-up place is kept, and both stay. A held copy goes once the start-up
    // place holds it exactly. True when no item is left only in the BackUp place.
    // With `only`, just the held items it names go back (and are counted).
    virtual bool Restore(const Reporter& report, const LeftAlone& only = nullptr) = 0;
    // Deletes one held item; true when a deletion was made or the BackUp place
    // could not be opened (the list is then read again).
    virtual bool DeleteHeld(const StartupEntry& entry, const Reporter& report) = 0;

    // True when the start-up place has an item of the entry's name: Windows
    // starts that one itself (a restore kept a newer one there).
    virtual bool StartedByWindows(const StartupEntry& entry) const = 0;

    // What to watch for newcomers: the start-up place, or the BackUp place (ItemPlace::Held).
    virtual WatchTarget Watched(ItemPlace place) const = 0;
};

using SourceTable = std::vector<std::unique_ptr<StartupSource>>;

// The rows of the table with this scope.
inline ListSet RowsOf(const SourceTable& table, Scope scope) {
    ListSet rows = 0;
    for (std::size_t row = 0; row < table.size(); ++row)
        if (table[row]->GetScope() == scope) rows |= ListBit(row);
    return rows;
}

// What the watchers of these rows wait on: each start-up place, or for the
// rows of `held` the BackUp place (where another process puts what it takes).
inline std::vector<WatchTarget> WatchTargetsOf(const SourceTable& table, ListSet rows, ListSet held = 0) {
    std::vector<WatchTarget> targets;
    for (std::size_t row = 0; row < table.size(); ++row)
        if (rows & ListBit(row))
            targets.push_back(table[row]->Watched((held & ListBit(row)) ? ItemPlace::Held : ItemPlace::StartUp));
    return targets;
}

}  // namespace lists
