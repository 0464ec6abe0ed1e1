#include "sources/CompanyReader.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "sources/Companies.h"

namespace {

// Enough for every list a user keeps; past it the reads start afresh.
constexpr std::size_t kKnownLimit = 20000;

std::string CompanyOf(const std::pair<std::string, std::wstring>& key, CFileVersionInfo& versionInfo) {
    StartupEntry entry;
    SetField(entry.command, key.first.c_str());
    entry.item = key.second;
    FillCompany(entry, versionInfo);
    return entry.company;
}

}  // namespace

CompanyReader::CompanyReader() : state_(std::make_shared<State>()) {}

CompanyReader::~CompanyReader() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->readerGone = true;
    state_->onRead = nullptr;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return !state_->callingBack; });
}

CompanyReader::Filled CompanyReader::FillKnown(EntryList& entries) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    Filled filled;
    for (StartupEntry& entry : entries) {
        const auto known =
            state_->known.find(std::pair<std::string_view, std::wstring_view>(entry.command, entry.item));
        const char* company = known == state_->known.end() ? "" : known->second.c_str();
        filled.unknown = filled.unknown || known == state_->known.end();
        if (std::strcmp(entry.company, company) == 0) continue;
        SetField(entry.company, company);
        filled.changed = true;
    }
    return filled;
}

void CompanyReader::Request(const EntryList& entries) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    for (const StartupEntry& entry : entries) state_->pending.emplace_back(entry.command, entry.item);
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
        std::vector<Key> reading;
        std::swap(reading, state->pending);
        lock.unlock();
        // The files' reads, outside every lock; a list gone meanwhile needs no more.
        CFileVersionInfo versionInfo;
        std::vector<std::string> companies;
        for (const Key& key : reading) {
            if (Gone(*state)) break;
            companies.push_back(CompanyOf(key, versionInfo));
        }
        lock.lock();
        if (state->readerGone) return;
        if (state->known.size() + companies.size() > kKnownLimit) state->known.clear();
        for (std::size_t index = 0; index < companies.size(); ++index) state->known[reading[index]] = companies[index];
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
