#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "model/EntryList.h"
#include "sources/LogonTaskReader.h"
#include "win/AccountLock.h"

// The engine: owns the list of delayed entries and performs every operation on
// the Run and BackUp keys of the start-up lists (StartupLists()). One instance
// per process, shared by the window thread and the Run-key monitors. Its lock
// covers registry work and the list only: the companies (file reads) and the
// logon tasks (COM, on a thread of their own) are read outside it, and launches
// take no lock at all, so a Run-key change never waits for any of them.
class CStartupManager {
public:
    // Creates the instance on the first call (safe when two threads make it at
    // once); the instance lives until the process ends.
    static CStartupManager* GetInstance();

    CStartupManager(const CStartupManager&) = delete;
    CStartupManager& operator=(const CStartupManager&) = delete;

    // --- which start-up lists this process handles ---------------------------
    // Rows of StartupLists() the manager may change (back up, take from, restore
    // into, delete from, register in) and rows whose BackUp keys it lists. All
    // rows unless set otherwise: the keeper service changes and lists only the
    // machine's rows; the program, while the keeper holds those, changes only
    // the user's row and still lists every BackUp key (reading needs no rights).
    // A row it may not change is never opened for writing.
    void SetLists(ListSet written, ListSet listed);
    ListSet WrittenLists();
    // Whether listed entries get their programs' companies (on unless set off).
    // The keeper service shows no list: it never opens the files that entries
    // name, which any user may have written.
    void SetReadsCompanies(bool reads) { readsCompanies_ = reads; }

    // --- operations --------------------------------------------------------
    static bool LaunchCommand(const char* command);
    // Starts every entry but the logon tasks, which the Task Scheduler starts
    // itself at log-on: started here too, they would run twice.
    static bool LaunchAll(EntryList copy);
    // Starts one entry now: a logon task through the Task Scheduler (with its
    // own arguments, account and folder), any other by its command.
    bool LaunchEntry(const StartupEntry& entry);
    int RegisterSelf(const char* selfCommand);
    // Hive selector 0: the current user's BackUp key, 1: the machine's.
    LONG DeleteBackupEntry(const char* name, int hive);
    // Deletes the entry from every BackUp key that keeps it; true when any
    // deletion was made or a key could not be opened (the list is then rebuilt).
    bool DeleteEntry(const StartupEntry& entry);
    void BackUpRunKeys();
    bool RebuildList(EntryList& list);
    bool RebuildList() { return RebuildList(list_); }
    int RemoveListedFromRun(EntryList copy);
    // Puts the written rows' BackUp values back into their Run keys, deleting
    // each once its Run key holds it exactly. True when afterwards every value
    // still backed up has a value of its name in its Run key (a newer one is
    // kept there): false means a program Windows would no longer start.
    bool RestoreAll();

    // Back up, rebuild and remove from the Run keys as one unit (start-up, monitors).
    void TakeOver();

    // A copy of the manager's own list, taken under the lock.
    EntryList CopyList();
    // Called, outside the lock, whenever the manager's own list has changed
    // (a take-over, a rebuild, the logon tasks answering). It must not block.
    void SetListChangedCallback(std::function<void()> callback);

    // Duplicate rule on the manager's own list: relabels every listed entry of
    // exactly this name as present in both BackUp keys; 1 when any matched, else 0.
    int MarkPresentInBoth(const char* name);

    // --- the sweep and its value helpers --------------------------------------
    // Copy flag 1: back up (or, with keepChanged, restore) source into destination.
    // A list: list the source, a BackUp key: selector 1 the user's, else the machine's.
    void SweepKey(HKEY source, EntryList* list, int originSelector, int copyFlag, HKEY destination,
                  bool keepChanged = false);
    int PutOrDeleteValue(HKEY key, int put, const char* name, const char* data);
    static std::string ProgramPathFromCommand(const std::string& command);

    // --- logon tasks ----------------------------------------------------------
    // Production creates the Task Scheduler with CoCreateInstance; tests hand in theirs.
    void SetTaskSchedulerFactory(TaskSchedulerFactory factory);
    // Waits until the logon tasks asked for so far are in the list; false after the time limit.
    bool WaitForLogonTasks(DWORD timeoutMs);

    // Starts one command; CreateProcess through the launcher, or a stand-in (tests).
    using Launcher = std::function<bool(const char* command)>;
    static void SetLauncher(Launcher launcher);

    // Recursive, since operations call each other.
    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(mutex_); }

    // How long a change of the keys waits for another process of the account.
    static constexpr DWORD kAccountLockWaitMs = 20000;

private:
    CStartupManager();

    // Held around every change of the keys, taken in this order: the account's
    // lock across processes, while this process changes the user's row (two
    // sessions of one account share its keys, and each checks a copy before it
    // deletes the other), then the engine's own. None when the account's lock
    // cannot be had, with a line: the operation then changes nothing.
    struct KeysLock {
        win::AccountLock account;
        std::unique_lock<std::recursive_mutex> engine;
    };
    std::optional<KeysLock> LockKeys();

    // Under the lock: the BackUp keys' entries, without companies, and a number
    // that tells a later reading from an earlier one.
    EntryList ListBackUpKeys(unsigned long long* generation);
    EntryList ListBackUpKeysAndAskForTasks(unsigned long long* generation);
    EntryList WithTasks(const EntryList& entries);
    // Outside the lock: the companies, then the list becomes these entries and
    // the logon tasks, unless a later reading was published first.
    void Publish(EntryList entries, unsigned long long generation);
    // The list becomes the BackUp keys' entries and the tasks; true when it changed.
    bool ComposeList();
    void NotifyListChanged();
    // Outside the lock: fills the entries' companies, unless this process reads none.
    void FillCompaniesIfRead(EntryList& entries);

    std::recursive_mutex mutex_;
    ListSet written_ = ~0u;
    ListSet listed_ = ~0u;
    std::atomic<bool> readsCompanies_{true};
    EntryList list_;
    EntryList backUpEntries_;  // the BackUp keys' part of list_, companies included
    unsigned long long generation_ = 0;
    unsigned long long published_ = 0;
    LogonTaskReader tasks_;
    std::mutex callbackMutex_;
    std::function<void()> listChanged_;
};
