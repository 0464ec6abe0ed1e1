#include "sources/LogonTaskReader.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "win/ComApartment.h"

namespace {

bool SameTasks(const EntryList& one, const EntryList& other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](const auto& a, const auto& b) {
        return a.name == b.name && a.command == b.command && a.company == b.company;
    });
}

}  // namespace

LogonTaskReader::LogonTaskReader() : state_(std::make_shared<State>()) {}

LogonTaskReader::~LogonTaskReader() { state_->LeaveReader(); }

EntryList LogonTaskReader::Latest() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->latest;
}

void LogonTaskReader::Request() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    AskLocked(state_);
}

void LogonTaskReader::RequestFirstRead() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    if (!state_->EverAskedLocked()) AskLocked(state_);
}

// Detached: a Task Scheduler that never answers must not hold up the end of
// the process, nor of the reader's owner.
void LogonTaskReader::AskLocked(const std::shared_ptr<State>& state) {
    if (state->AskLocked()) std::thread([state] { Run(state); }).detach();
}

bool LogonTaskReader::WaitForReads(DWORD timeoutMs) { return state_->WaitForReads(timeoutMs); }

void LogonTaskReader::SetOnRead(std::function<void()> onRead) { state_->SetOnRead(std::move(onRead)); }

void LogonTaskReader::SetFactory(TaskSchedulerFactory factory) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    state_->factory = std::move(factory);
    state_->latest.Clear();
    ++state_->factoryChanges;
}

TaskSchedulerFactory LogonTaskReader::Factory() {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->factory;
}

void LogonTaskReader::Run(const std::shared_ptr<State>& state) {
    const win::ComApartment apartment;
    std::unique_lock<std::mutex> lock(state->mutex);
    unsigned long long serving = 0;
    while (state->NextRead(lock, &serving)) {
        const unsigned long long factoryChanges = state->factoryChanges;
        const TaskSchedulerFactory factory = state->factory;
        lock.unlock();
        EntryList tasks = ReadLogonTasks(factory);
        lock.lock();
        // Tasks read through a factory replaced meanwhile are not this scheduler's.
        const bool changed = factoryChanges == state->factoryChanges && !SameTasks(state->latest, tasks);
        if (changed) state->latest = std::move(tasks);
        state->EndRead(lock, serving, changed ? ReadRequests::Outcome::Changed : ReadRequests::Outcome::Unchanged);
    }
}
