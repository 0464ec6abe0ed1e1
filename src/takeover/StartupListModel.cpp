#include "takeover/StartupListModel.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

namespace takeover {

namespace {

// The row whose reading lists an entry first: its lowest list (the others mark it as kept in both).
ListSet HomeBit(ListSet lists) { return lists & (~lists + 1); }

bool Listed(const EntryList& list, const std::wstring& name) {
    return std::any_of(list.begin(), list.end(), [&](const StartupEntry& entry) { return entry.name == name; });
}

// The same entries in the same order, companies included: a list the window
// need not fill again.
template <typename One, typename Other>
bool SameEntries(const One& one, const Other& other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](const auto& a, const auto& b) {
        return a.name == b.name && a.command == b.command && a.company == b.company && a.origin == b.origin &&
               a.lists == b.lists &&
               a.item == b.item && a.opens == b.opens && a.otherCommands == b.otherCommands;
    });
}

}  // namespace

StartupListModel::StartupListModel(CompanyReading companies)
    : readsCompanies_(companies == CompanyReading::Read) {
    companies_.SetOnRead([this] {
        bool changed = false;
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            changed = companies_.FillKnown(held_).changed;
            changed = TakeLatestTasks() || changed;
        }
        if (changed) NotifyListChanged();
    });
    tasks_.SetOnRead([this] {
        bool changed = false;
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            changed = TakeLatestTasks();
        }
        if (changed) NotifyListChanged();
    });
}

void StartupListModel::CopyList(EntryList& rows) {
    const std::lock_guard<std::mutex> guard(mutex_);
    rows.Assign(shownTasks_, held_);
}

EntryList StartupListModel::CopyList() {
    EntryList list;
    CopyList(list);
    return list;
}

void StartupListModel::SetListChangedCallback(std::function<void()> callback) {
    const std::lock_guard<std::mutex> guard(callbackMutex_);
    listChanged_ = std::move(callback);
}

void StartupListModel::NotifyListChanged() {
    std::function<void()> callback;
    {
        const std::lock_guard<std::mutex> guard(callbackMutex_);
        callback = listChanged_;
    }
    if (callback) callback();
}

unsigned long long StartupListModel::NextGeneration() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return ++generation_;
}

// A list of thousands of entries is copied only when the window asks for it:
// under Wine a copy costs a few microseconds an entry, more than its reading.
bool StartupListModel::TakeLatestTasks() {
    EntryList latest = tasks_.Latest();
    if (SameEntries(latest, shownTasks_)) return false;
    shownTasks_ = std::move(latest);
    return true;
}

void StartupListModel::AskForCompanies(const EntryList& entries) {
    if (readsCompanies_) companies_.Request(entries);
}

void StartupListModel::Publish(EntryList held, unsigned long long generation) {
    if (readsCompanies_) companies_.FillKnown(held);
    bool changed = false;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (generation < published_) return;
        published_ = generation;
        changed = !SameEntries(held, held_);
        held_ = std::move(held);
        changed = TakeLatestTasks() || changed;
        // Asked once the list holds them, so that the answer lands in it. Every
        // company is read again: a file may have changed since (the reader's
        // cache reads only the files that did).
        AskForCompanies(held_);
    }
    if (changed) NotifyListChanged();  // the window need not refill an unchanged list
}

void StartupListModel::AskForTasks(TaskQuery query) {
    query == TaskQuery::Afresh ? tasks_.Request() : tasks_.RequestFirstRead();
}

void StartupListModel::SetTaskSchedulerFactory(TaskSchedulerFactory factory) { tasks_.SetFactory(std::move(factory)); }

TaskSchedulerFactory StartupListModel::TaskFactory() { return tasks_.Factory(); }

bool StartupListModel::WaitForLogonTasks(DWORD timeoutMs) { return tasks_.WaitForReads(timeoutMs); }

bool StartupListModel::WaitForCompanies(DWORD timeoutMs) { return companies_.WaitForReads(timeoutMs); }

bool StartupListModel::Merge(const EntryList& moved) {
    if (moved.Empty()) return true;
    EntryList adding = moved;
    const bool unknown = readsCompanies_ && companies_.FillKnown(adding).unknown;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        std::unordered_set<std::wstring> names;
        for (const StartupEntry& entry : adding)
            if (!names.insert(entry.name).second || Listed(held_, entry.name)) return false;
        ++generation_;
        published_ = generation_;
        // `adding` holds each row's entries in its own order: each goes in front
        // of the first entry of its row or an earlier one, in that order.
        const EntryList& added = adding;
        for (auto entry = added.begin(); entry != added.end();) {
            const ListSet home = HomeBit(entry->lists);
            const auto at = std::find_if(held_.begin(), held_.end(), [&](const StartupEntry& listed) {
                return HomeBit(listed.lists) <= home;
            });
            const auto row = entry;
            while (entry != added.end() && HomeBit(entry->lists) == home) ++entry;
            held_.Insert(at, row, entry);
        }
        TakeLatestTasks();
    }
    NotifyListChanged();
    // Asked once the list holds them, so that the answer lands in it.
    if (unknown) AskForCompanies(moved);
    return true;
}

}  // namespace takeover
