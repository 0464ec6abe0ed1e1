#pragma once
// The engine's events as a test reads them, in the order made, from any thread.
#include <mutex>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "entry/ItemEvents.h"

struct Recorded {
    ItemHappened what;
    ItemPlace place;
    ItemKind kind;
    std::string name;
    std::string reason;  // "" when the event gives none
    bool operator==(const Recorded& o) const {
        return std::tie(what, place, kind, name, reason) == std::tie(o.what, o.place, o.kind, o.name, o.reason);
    }
};

// For a failed test's message: the event's numbers, name and reason.
inline void PrintTo(const Recorded& event, std::ostream* out) {
    *out << "{" << static_cast<int>(event.what) << ", " << static_cast<int>(event.place) << ", "
         << static_cast<int>(event.kind) << ", \"" << event.name << "\", \"" << event.reason << "\"}";
}

// A walk's own events (counts and names read) say what was read, not what happened: left out.
inline bool IsWalkEvent(ItemHappened what) {
    return what == ItemHappened::SubkeysCounted || what == ItemHappened::SubkeyFound ||
           what == ItemHappened::ValuesCounted || what == ItemHappened::ValueFound;
}

class EventRecorder : public ItemEventSink {
public:
    void Report(const ItemEvent& event) override {
        if (IsWalkEvent(event.what)) return;
        const std::lock_guard<std::mutex> hold(mutex_);
        events_.push_back({event.what, event.place, event.kind, event.name, event.reason ? event.reason : ""});
    }
    // The events so far, which are then forgotten.
    std::vector<Recorded> Take() {
        const std::lock_guard<std::mutex> hold(mutex_);
        std::vector<Recorded> taken;
        taken.swap(events_);
        return taken;
    }
    // How many events so far are `what` in `place`, for this reason and of this name (nullptr: any).
    int Count(ItemHappened what, ItemPlace place, const char* reason = nullptr, const char* name = nullptr) const {
        const std::lock_guard<std::mutex> hold(mutex_);
        int count = 0;
        for (const Recorded& event : events_)
            count += event.what == what && event.place == place && (!reason || event.reason == reason) &&
                     (!name || event.name == name);
        return count;
    }
private:
    mutable std::mutex mutex_;
    std::vector<Recorded> events_;
};
