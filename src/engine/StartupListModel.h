#pragma once
#include <windows.h>

#include <functional>
#include <mutex>

#include "model/EntryList.h"
#include "sources/LogonTaskReader.h"

// The list the window shows: the held entries the engine read last, with their
// companies, and the logon tasks. The engine publishes each reading with a
// number that tells a later reading from an earlier one; the companies (file
// reads) and the tasks (COM, on a thread of their own) are read outside every
// lock, so that a change of a start-up list never waits for them.
class StartupListModel {
public:
    // The keeper service shows no list: it never opens the files that entries
    // name, which any user may have written.
    explicit StartupListModel(bool readsCompanies = true);
    StartupListModel(const StartupListModel&) = delete;
    StartupListModel& operator=(const StartupListModel&) = delete;

    // A copy of the list, taken under the model's lock.
    EntryList CopyList();
    // Called, outside the lock, whenever the list has changed (a take-over, a
    // rebuild, the logon tasks answering). It must not block.
    void SetListChangedCallback(std::function<void()> callback);

    // The number of the next reading of the held entries.
    unsigned long long NextGeneration();
    // Fills the companies, then the list becomes these entries and the logon
    // tasks, unless a later reading was published first.
    void Publish(EntryList held, unsigned long long generation);
    // The entries with the logon tasks in front, without the duplicate rule.
    EntryList WithTasks(const EntryList& held);

    // Asks the Task Scheduler for the logon tasks: afresh, or only when never asked.
    void AskForTasks(bool afresh);
    // Production creates the Task Scheduler with CoCreateInstance; tests hand in theirs.
    void SetTaskSchedulerFactory(TaskSchedulerFactory factory);
    TaskSchedulerFactory TaskFactory();
    // Waits until the logon tasks asked for so far are in the list; false after the time limit.
    bool WaitForLogonTasks(DWORD timeoutMs);

private:
    bool ComposeList();  // under the lock; true when the list changed
    void NotifyListChanged();

    const bool readsCompanies_;
    std::mutex mutex_;
    EntryList list_;
    EntryList held_;  // the held part of list_, companies included
    unsigned long long generation_ = 0;
    unsigned long long published_ = 0;
    std::mutex callbackMutex_;
    std::function<void()> listChanged_;
    LogonTaskReader tasks_;  // last: its callback uses the members above, and ends before they go
};
