#pragma once
#include <cstddef>
#include <string>

// What the engine did with one start-up item, reported as it happens: the
// program prints its lines from these, the keeper service counts them.
enum class ItemHappened {
    Copied,        // a copy was written (into the BackUp place, or back into the start-up place)
    CopyFailed,    // the copy could not be written
    Deleted,       // the item left the place, an identical copy being kept elsewhere
    DeleteFailed,  // it could not be deleted, or was not there
    Kept,          // it stays where it is, for `reason`
    NotListed,     // a held item left out of the list, for `reason`
    LeftOnlyHeld,  // after a restore, an item only its BackUp place still holds
    // A walk over a place's items, as it goes, before anything is done with each:
    SubkeysCounted,  // the key has `number` subkeys (listed, never entered)
    SubkeyFound,     // the subkey `name`, the `number`th
    ValuesCounted,   // the place has `number` items, each then found in turn
    ValueFound,      // the item `name`, the `number`th
};

// Where an item was when it happened.
enum class ItemPlace {
    StartUp,  // the place Windows starts it from (a Run key, a Startup folder)
    Held,     // the BackUp place Pacewick keeps it in
};

// What kind of item: lines name it as Windows shows it.
enum class ItemKind { RegistryValue, File };

struct ItemEvent {
    ItemHappened what;
    ItemPlace place;
    ItemKind kind;
    std::size_t source;  // the source's row in the source table
    std::string name;    // UTF-8, as the list shows it; another's text: print it escaped or not at all
    const char* reason;  // for Kept and NotListed, else null
    std::size_t number = 0;  // for a walk's events, else 0
};

// Told of every event, on the thread that makes it (the window's or a watcher's).
class ItemEventSink {
public:
    virtual ~ItemEventSink() = default;
    virtual void Report(const ItemEvent& event) = 0;
};
