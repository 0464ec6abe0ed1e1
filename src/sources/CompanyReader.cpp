#include "sources/CompanyReader.h"

#include <thread>

#include "sources/Companies.h"

namespace {

// Enough for every list a user keeps; past it the reads start afresh.
constexpr std::size_t kKnownLimit = 20000;

std::wstring CompanyOf(const std::pair<std::wstring, std::wstring>& key, CFileVersionInfo& versionInfo) {
    StartupEntry entry;
    entry.command = key.first;
    entry.item = key.second;
    FillCompany(entry, versionInfo);
    return entry.company;
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
        if (read ? entry.company == known->second : entry.company.empty()) continue;
        if (read) entry.company = known->second;
        else entry.company.clear();
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
        std::vector<std::wstring> companies;
        for (const Key& key : reading) {
            if (state->ReaderGone()) break;
            companies.push_back(CompanyOf(key, versionInfo));
        }
        lock.lock();
        if (state->known.size() + companies.size() > kKnownLimit) state->known.clear();
        for (std::size_t index = 0; index < companies.size(); ++index) state->known[reading[index]] = companies[index];
        state->EndRead(lock, serving, ReadRequests::Outcome::Changed);
    }
}
