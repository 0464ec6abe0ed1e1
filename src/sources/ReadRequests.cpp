#include "sources/ReadRequests.h"

#include <chrono>
#include <utility>

bool ReadRequests::AskLocked() {
    ++requested_;
    changed.notify_all();
    const bool start = !threadStarted_;
    threadStarted_ = true;
    return start;
}

bool ReadRequests::WaitForReads(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex);
    const unsigned long long target = requested_;
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_ >= target; });
}

void ReadRequests::SetOnRead(std::function<void()> callback) {
    const std::lock_guard<std::mutex> guard(mutex);
    onRead_ = std::move(callback);
}

void ReadRequests::LeaveReader() {
    std::unique_lock<std::mutex> lock(mutex);
    readerGone_ = true;
    onRead_ = nullptr;
    changed.notify_all();
    changed.wait(lock, [&] { return !callingBack_; });
}

bool ReadRequests::ReaderGone() {
    const std::lock_guard<std::mutex> guard(mutex);
    return readerGone_;
}

bool ReadRequests::NextRead(std::unique_lock<std::mutex>& lock, unsigned long long* serving) {
    changed.wait(lock, [&] { return readerGone_ || ended_ < requested_; });
    *serving = requested_;
    return !readerGone_;
}

void ReadRequests::EndRead(std::unique_lock<std::mutex>& lock, unsigned long long serving, Outcome outcome) {
    const std::function<void()> callback = outcome == Outcome::Changed && !readerGone_ ? onRead_ : nullptr;
    if (callback) {
        // A waiter is told only once what was read is wherever the callback puts it.
        callingBack_ = true;
        lock.unlock();
        callback();
        lock.lock();
        callingBack_ = false;
    }
    ended_ = serving;
    changed.notify_all();
}
