#include "sources/LogonTaskReader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "win/ComApartment.h"

namespace {

bool SameTasks(const std::vector<StartupEntry>& one, const std::vector<StartupEntry>& other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](const auto& a, const auto& b) {
        return std::strcmp(a.name, b.name) == 0 && std::strcmp(a.command, b.command) == 0 &&
               std::strcmp(a.company, b.company) == 0;
    });
}

}  // namespace

std::vector<StartupEntry> LogonTaskReader::Latest() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return latest_;
}

void LogonTaskReader::Request() {
    const std::lock_guard<std::mutex> guard(mutex_);
    ++requested_;
    if (!threadStarted_) {
        // Detached: a Task Scheduler that never answers must not hold up the
        // end of the process.
        std::thread([this] { Run(); }).detach();
        threadStarted_ = true;
    }
    changed_.notify_all();
}

void LogonTaskReader::RequestFirstRead() {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (requested_ > 0) return;
    }
    Request();
}

bool LogonTaskReader::WaitForReads(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const unsigned long long target = requested_;
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_ >= target; });
}

void LogonTaskReader::SetOnRead(std::function<void()> onRead) {
    const std::lock_guard<std::mutex> guard(mutex_);
    onRead_ = std::move(onRead);
}

void LogonTaskReader::SetFactory(TaskSchedulerFactory factory) {
    const std::lock_guard<std::mutex> guard(mutex_);
    factory_ = std::move(factory);
    latest_.clear();
    ++factoryChanges_;
}

TaskSchedulerFactory LogonTaskReader::Factory() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return factory_;
}

void LogonTaskReader::Run() {
    const win::ComApartment apartment;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return ended_ < requested_; });
        const unsigned long long serving = requested_;
        const unsigned long long factoryChanges = factoryChanges_;
        const TaskSchedulerFactory factory = factory_;
        lock.unlock();
        std::vector<StartupEntry> tasks = ReadLogonTasks(factory);
        lock.lock();
        // Tasks read through a factory replaced meanwhile are not this scheduler's.
        const bool changed = factoryChanges == factoryChanges_ && !SameTasks(latest_, tasks);
        if (changed) latest_ = std::move(tasks);
        const std::function<void()> onRead = changed ? onRead_ : nullptr;
        lock.unlock();
        if (onRead) onRead();  // a waiter is told only once the tasks are wherever this puts them
        lock.lock();
        ended_ = serving;
        changed_.notify_all();
    }
}
