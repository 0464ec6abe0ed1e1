#include "sources/CompanyReader.h"

#include <chrono>
#include <thread>

#include "sources/Companies.h"

namespace {

// Enough for every list a user keeps; past it the reads start afresh.
constexpr std::size_t kKnownLimit = 20000;

}  // namespace

CompanyReader::CompanyReader() : state_(std::make_shared<State>()) {}

CompanyReader::~CompanyReader() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->readerGone = true;
    state_->onRead = nullptr;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return !state_->callingBack; });
}

bool CompanyReader::FillKnown(EntryList& entries) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    bool unknown = false;
    for (StartupEntry& entry : entries) {
        const auto known = state_->known.find(Key(entry.command, entry.item));
        SetField(entry.company, known == state_->known.end() ? "" : known->second.c_str());
        unknown = unknown || known == state_->known.end();
    }
    return unknown;
}

void CompanyReader::Request(const EntryList& entries) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    for (const StartupEntry& entry : entries) state_->pending.InsertFront(entry);
    ++state_->requested;
    if (!state_->threadStarted) {
        // Detached: a file that never opens must not hold up the end of the process.
        std::thread([state = state_] { Run(state); }).detach();
        state_->threadStarted = true;
    }
    state_->changed.notify_all();
}

bool CompanyReader::WaitForReads(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    const unsigned long long target = state_->requested;
    return state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->ended >= target; });
}

void CompanyReader::SetOnRead(std::function<void()> onRead) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    state_->onRead = std::move(onRead);
}

bool CompanyReader::Gone(State& state) {
    const std::lock_guard<std::mutex> guard(state.mutex);
    return state.readerGone;
}

void CompanyReader::Run(const std::shared_ptr<State>& state) {
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->readerGone || state->ended < state->requested; });
        if (state->readerGone) return;
        const unsigned long long serving = state->requested;
        EntryList reading;
        std::swap(reading, state->pending);
        lock.unlock();
        // The files' reads, outside every lock; a list gone meanwhile needs no more.
        CFileVersionInfo versionInfo;
        for (StartupEntry& entry : reading) {
            if (Gone(*state)) break;
            FillCompany(entry, versionInfo);
        }
        lock.lock();
        if (state->readerGone) return;
        if (state->known.size() + reading.Count() > kKnownLimit) state->known.clear();
        for (const StartupEntry& entry : reading) state->known[Key(entry.command, entry.item)] = entry.company;
        const std::function<void()> onRead = state->readerGone ? nullptr : state->onRead;
        if (onRead) {
            // A waiter is told only once the companies are wherever this puts them.
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
