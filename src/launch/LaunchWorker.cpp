#include "launch/LaunchWorker.h"

#include <utility>

#include "win/ComApartment.h"

namespace launch {

void LaunchWorker::LaunchAll(const EntryList& entries, Done done, StartOutcome outcome) {
    Hand({entries, Launcher::BatchKind::AllDelayed, std::move(done), std::move(outcome)});
}

void LaunchWorker::LaunchEach(EntryList entries, Done done) {
    Hand({std::move(entries), Launcher::BatchKind::Chosen, std::move(done), {}});
}

void LaunchWorker::Hand(Batch batch) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (stopping_) return;
    batches_.push_back(std::move(batch));
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    handed_.notify_one();
}

void LaunchWorker::Stop() {
    stop_ = true;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        batches_.clear();
    }
    handed_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void LaunchWorker::Run() {
    // The shell's objects and the Task Scheduler are COM; the apartment lasts as long as the thread.
    const win::ComApartment apartment;
    const Launcher::StopCheck stopNow = [this] { return stop_.load(); };
    const Launcher::StopCheck stopped = [this, &stopNow] {
        if (pace_) pace_(stopNow);
        return stopNow();
    };
    for (;;) {
        Batch batch;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            handed_.wait(lock, [this] { return stopping_ || !batches_.empty(); });
            if (stopping_) return;
            batch = std::move(batches_.front());
            batches_.pop_front();
        }
        if (batch.kind == Launcher::BatchKind::AllDelayed) {
            launcher_.LaunchAll(batch.entries, stopped, batch.outcome);
        } else {
            launcher_.LaunchEach(batch.entries, stopped, batch.outcome);
        }
        if (batch.done) batch.done();
    }
}

}  // namespace launch
