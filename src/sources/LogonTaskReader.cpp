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

LogonTaskReader::LogonTaskReader() : state_(std::make_shared<State>()) {}

LogonTaskReader::~LogonTaskReader() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->readerGone = true;
    state_->onRead = nullptr;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return !state_->callingBack; });
}

std::vector<StartupEntry> LogonTaskReader::Latest() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->latest;
}

void LogonTaskReader::Request() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    ++state_->requested;
    if (!state_->threadStarted) {
        // Detached: a Task Scheduler that never answers must not hold up the
        // end of the process, nor of the reader's owner.
        std::thread([state = state_] { Run(state); }).detach();
        state_->threadStarted = true;
    }
    state_->changed.notify_all();
}

void LogonTaskReader::RequestFirstRead() {
    {
        const std::lock_guard<std::mutex> guard(state_->mutex);
        if (state_->requested > 0) return;
    }
    Request();
}

bool LogonTaskReader::WaitForReads(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    const unsigned long long target = state_->requested;
    return state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->ended >= target; });
}

void LogonTaskReader::SetOnRead(std::function<void()> onRead) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    state_->onRead = std::move(onRead);
}

void LogonTaskReader::SetFactory(TaskSchedulerFactory factory) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    state_->factory = std::move(factory);
    state_->latest.clear();
    ++state_->factoryChanges;
}

TaskSchedulerFactory LogonTaskReader::Factory() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->factory;
}

void LogonTaskReader::Run(const std::shared_ptr<State>& state) {
    const win::ComApartment apartment;
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->readerGone || state->ended < state->requested; });
        if (state->readerGone) return;
        const unsigned long long serving = state->requested;
        const unsigned long long factoryChanges = state->factoryChanges;
        const TaskSchedulerFactory factory = state->factory;
        lock.unlock();
        std::vector<StartupEntry> tasks = ReadLogonTasks(factory);
        lock.lock();
        // Tasks read through a factory replaced meanwhile are not this scheduler's.
        const bool changed = factoryChanges == state->factoryChanges && !SameTasks(state->latest, tasks);
        if (changed) state->latest = std::move(tasks);
        const std::function<void()> onRead = changed && !state->readerGone ? state->onRead : nullptr;
        if (onRead) {
            // A waiter is told only once the tasks are wherever this puts them.
            state->callingBack = true;
            lock.unlock();
            onRead();
            lock.lock();
            state->callingBack = false;
        }
        state->ended = serving;
        state->changed.notify_all();
    }
}
