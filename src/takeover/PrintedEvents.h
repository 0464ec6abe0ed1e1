#pragma once
#include "entry/ItemEvents.h"

namespace takeover {

// The program's account of what happened to each item: one diagnostic line per
// event, the fixed lines of the Run keys and their like for the Startup folders.
class PrintedEvents : public ItemEventSink {
public:
    void Report(const ItemEvent& event) override;
};

}  // namespace takeover
