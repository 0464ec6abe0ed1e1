#pragma once
// An Event Log sink that records what is reported, for the tests of the code that reports.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "events/EventLog.h"

struct ReportedEvent {
    DWORD id;
    events::Type type;
    std::vector<std::wstring> strings;
};

// Records events from any thread, in the order made.
class RecordingSink : public events::Sink {
public:
    void Report(DWORD id, events::Type type, const std::vector<std::wstring>& strings) override {
        const std::lock_guard<std::mutex> guard(mutex_);
        events_.push_back({id, type, strings});
    }
    std::vector<ReportedEvent> Of(DWORD id) {
        const std::lock_guard<std::mutex> guard(mutex_);
        std::vector<ReportedEvent> found;
        std::copy_if(events_.begin(), events_.end(), std::back_inserter(found), [id](const ReportedEvent& e) { return e.id == id; });
        return found;
    }

private:
    std::mutex mutex_;
    std::vector<ReportedEvent> events_;
};
