#include "ready/ReadyStarter.h"

#include <utility>

#include "win/ComApartment.h"

namespace ready {

ReadyStarter::ReadyStarter(const EntryList& entries, const std::vector<Impact>& impacts, LoadSource& load,
                           Hooks hooks, unsigned processors, std::chrono::milliseconds interval)
    : load_(load), hooks_(std::move(hooks)), processors_(processors), interval_(interval) {
    std::vector<const StartupEntry*> listed;
    std::vector<Impact> classes;
    std::size_t index = 0;
    for (const StartupEntry& entry : entries) {
        const Impact impact = index < impacts.size() ? impacts[index] : Impact::NotMeasured;
        ++index;
        if (entry.origin == Origin::TaskScheduler) continue;
        listed.push_back(&entry);
        classes.push_back(impact);
    }
    const std::vector<std::size_t> order = StartingOrder(classes);
    for (auto at = order.rbegin(); at != order.rend(); ++at) queue_.InsertFront(*listed[*at]);
    for (std::size_t at : order) classes_.push_back(classes[at]);
    thread_ = std::thread([this] { Run(); });
}

std::size_t ReadyStarter::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    return next_;
}

bool ReadyStarter::WaitInterval() {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, interval_, [this] { return stopping_; });
}

void ReadyStarter::Run() {
    // An elevated start goes through the desktop shell, and a task through the
    // Task Scheduler: both COM, the apartment this thread's for its life.
    const win::ComApartment apartment;
    ReadyRule rule(classes_, processors_, static_cast<unsigned>(interval_.count()));
    ProgramPause pause;  // resumes whatever it holds on every way out
    load_.Sample();      // the first interval starts now
    while (!rule.Done() && WaitInterval()) {
        const Step step = rule.Next(load_.Sample());
        if (step.pause)
            pause.Pause();
        else
            pause.Resume();
        for (std::size_t i = 0; i < step.starts; ++i)
            if (!StartNext(rule, pause)) return;
    }
}

bool ReadyStarter::StartNext(ReadyRule& rule, ProgramPause& pause) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return false;
    }
    const StartupEntry& entry = queue_[next_++];
    win::UniqueHandle process;
    const bool started = hooks_.start(entry, &process);
    if (hooks_.outcome) hooks_.outcome(entry, started);
    if (process) {
        rule.NoteOwnProcess(GetProcessId(process.Get()));
        pause.Add(process.Get());
        if (hooks_.started) hooks_.started(entry, std::move(process));
    }
    if (hooks_.progress) hooks_.progress(next_, queue_.Count());
    return true;
}

}  // namespace ready
