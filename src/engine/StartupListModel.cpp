#include "engine/StartupListModel.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sources/Companies.h"

namespace {

bool SameEntries(const EntryList& one, const EntryList& other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](const auto& a, const auto& b) {
        return std::strcmp(a.name, b.name) == 0 && std::strcmp(a.command, b.command) == 0 &&
               std::strcmp(a.company, b.company) == 0 && a.origin == b.origin && a.lists == b.lists &&
               a.item == b.item && a.otherCommands == b.otherCommands;
    });
}

}  // namespace

StartupListModel::StartupListModel(bool readsCompanies) : readsCompanies_(readsCompanies) {
    tasks_.SetOnRead([this] {
        bool changed = false;
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            changed = ComposeList();
        }
        if (changed) NotifyListChanged();
    });
}

EntryList StartupListModel::CopyList() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return list_;
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

EntryList StartupListModel::WithTasks(const EntryList& held) {
    EntryList list = held;
    for (const StartupEntry& task : tasks_.Latest()) list.InsertFront(task);
    return list;
}

bool StartupListModel::ComposeList() {
    EntryList composed = WithTasks(held_);
    if (SameEntries(composed, list_)) return false;
    list_ = std::move(composed);
    return true;
}

void StartupListModel::Publish(EntryList held, unsigned long long generation) {
    if (readsCompanies_) FillCompanies(held);
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (generation < published_) return;
        published_ = generation;
        held_ = std::move(held);
        if (!ComposeList()) return;  // the window need not refill an unchanged list
    }
    NotifyListChanged();
}

void StartupListModel::AskForTasks(bool afresh) { afresh ? tasks_.Request() : tasks_.RequestFirstRead(); }

void StartupListModel::SetTaskSchedulerFactory(TaskSchedulerFactory factory) { tasks_.SetFactory(std::move(factory)); }

TaskSchedulerFactory StartupListModel::TaskFactory() { return tasks_.Factory(); }

bool StartupListModel::WaitForLogonTasks(DWORD timeoutMs) { return tasks_.WaitForReads(timeoutMs); }
