#include "sources/CompanyReader.h"

#include <thread>

#include "sources/Companies.h"

namespace {

// Enough for every list a user keeps; past it the reads start afresh.
constexpr std::size_t kKnownLimit = 20000;

StartupEntry Read(const std::pair<std::wstring, std::wstring>& key, CFileVersionInfo& versionInfo) {
    StartupEntry entry;
    entry.command = key.first;
    entry.item = key.second;
    FillCompany(entry, versionInfo);
    return entry;
}

}  // namespace

CompanyReader::CompanyReader() : state_(std::make_shared<State>()) {}

CompanyReader::~CompanyReader() { state_->LeaveReader(); }

CompanyReader::Filled CompanyReader::FillKnown(EntryList& entries) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    Filled filled;
    for (StartupEntry& entry : entries) {
        const auto known =
            state_->known.find(std::pair<std::wstring_view, std::wstring_view>(entry.command, entry.item));
        const bool read = known != state_->known.end();
        filled.unknown = filled.unknown || !read;
        const State::Shown shown = read ? known->second : State::Shown{};
        if (entry.company == shown.company && entry.opens == shown.opens) continue;
        entry.company = shown.company;
        entry.opens = shown.opens;
        filled.changed = true;
    }
    return filled;
}

void CompanyReader::Request(const EntryList& entries) {
    const std::lock_guard<std::mutex> guard(state_->mutex);
    for (const StartupEntry& entry : entries) state_->pending.emplace_back(entry.command, entry.item);
    // Detached: a file that never opens must not hold up the end of the process.
    if (state_->AskLocked()) std::thread([state = state_] { Run(state); }).detach();
}

bool CompanyReader::WaitForReads(DWORD timeoutMs) { return state_->WaitForReads(timeoutMs); }

void CompanyReader::SetOnRead(std::function<void()> onRead) { state_->SetOnRead(std::move(onRead)); }

void CompanyReader::Run(const std::shared_ptr<State>& state) {
    std::unique_lock<std::mutex> lock(state->mutex);
    unsigned long long serving = 0;
    while (state->NextRead(lock, &serving)) {
        std::vector<Key> reading;
        std::swap(reading, state->pending);
        lock.unlock();
        // The files' reads, outside every lock; a list gone meanwhile needs no more.
        CFileVersionInfo versionInfo;
        std::vector<State::Shown> shown;
        for (const Key& key : reading) {
            if (state->ReaderGone()) break;
            StartupEntry entry = Read(key, versionInfo);
            shown.push_back({std::move(entry.company), std::move(entry.opens)});
        }
        lock.lock();
        if (state->known.size() + shown.size() > kKnownLimit) state->known.clear();
        for (std::size_t index = 0; index < shown.size(); ++index) state->known[reading[index]] = shown[index];
        state->EndRead(lock, serving, ReadRequests::Outcome::Changed);
    }
}
