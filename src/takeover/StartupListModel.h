#pragma once
#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

#include "entry/EntryList.h"
#include "sources/CompanyReader.h"
#include "sources/LogonTaskReader.h"

namespace takeover {

// Whether a list model reads the companies of the files its entries name.
enum class CompanyReading { Read, Skipped };

// Whether a reading asks the Task Scheduler for the logon tasks afresh, or only when never asked.
enum class TaskQuery { Afresh, FirstOnly };

// The list the window shows: the held entries the engine read last, with their
// companies, and the logon tasks. The engine publishes each reading with a
// number that tells a later reading from an earlier one, and adds what a
// take-over moved in between. The companies (file reads) and the tasks (COM)
// are read on threads of their own, so that a change of a start-up list never
// waits for them: the list shows "" for a company until it is read.
class StartupListModel {
public:
    // The keeper service shows no list: it never opens the files that entries
    // name, which any user may have written.
    explicit StartupListModel(CompanyReading companies = CompanyReading::Read);
    StartupListModel(const StartupListModel&) = delete;
    StartupListModel& operator=(const StartupListModel&) = delete;

    // A copy of the list, taken under the model's lock.
    EntryList CopyList();
    // The same into `rows`, whose room is used again: refilled with the list
    // of the same size, it allocates nothing (thousands of allocations would
    // hold up every other thread at the process heap's lock).
    void CopyList(EntryList& rows);
    // Called, outside the lock, whenever the list has changed (a take-over, a
    // rebuild, the logon tasks answering). It must not block.
    void SetListChangedCallback(std::function<void()> callback);

    // The number of the next reading of the held entries.
    unsigned long long NextGeneration();
    // The list becomes these entries (with the companies read so far) and the
    // logon tasks, unless a later reading was published first.
    void Publish(EntryList held, unsigned long long generation);
    // Adds the entries of items just moved into BackUp places (each marked with
    // its row), where a full reading would list them: in front of the entries
    // of their row, a row's entries in front of an earlier row's, as a place
    // enumerates its newest values last. False, with the list unchanged, when
    // one has a name already listed: the duplicate rule then needs a full reading.
    bool Merge(const EntryList& moved);

    // Asks the Task Scheduler for the logon tasks: afresh, or only when never asked.
    void AskForTasks(TaskQuery query);
    // Production creates the Task Scheduler with CoCreateInstance; tests hand in theirs.
    void SetTaskSchedulerFactory(TaskSchedulerFactory factory);
    TaskSchedulerFactory TaskFactory();
    // Waits until the logon tasks asked for so far are in the list; false after the time limit.
    bool WaitForLogonTasks(DWORD timeoutMs);
    // Waits until the companies asked for so far are in the list; false after the time limit.
    bool WaitForCompanies(DWORD timeoutMs);

private:
    // Under the lock: the tasks the list shows become the latest read; true when they changed.
    bool TakeLatestTasks();
    void NotifyListChanged();
    void AskForCompanies(const EntryList& entries);

    const bool readsCompanies_;
    std::mutex mutex_;
    EntryList held_;  // companies included
    EntryList shownTasks_;  // in front of the held entries
    unsigned long long generation_ = 0;
    unsigned long long published_ = 0;
    std::mutex callbackMutex_;
    std::function<void()> listChanged_;
    LogonTaskReader tasks_;  // last: its callback uses the members above, and ends before they go
    CompanyReader companies_;  // last too, for the same reason
};

}  // namespace takeover
