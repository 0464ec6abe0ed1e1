#pragma once
#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "engine/EntryList.h"
#include "win/Scoped.h"

struct ITaskScheduler;

// The engine: owns the list of delayed entries and performs every operation on
// the Run and BackUp keys and on the delayed programs. One instance per process,
// shared by the window thread and the two Run-key monitors; one lock serialises
// every operation and every walk or copy of the list.
class CStartupManager {
public:
    // Creates the instance on the first call (safe when two threads make it at
    // once); the instance lives until the process ends.
    static CStartupManager* GetInstance();

    CStartupManager(const CStartupManager&) = delete;
    CStartupManager& operator=(const CStartupManager&) = delete;

    // --- operations --------------------------------------------------------
    bool LaunchCommand(char* command);
    bool LaunchAll(EntryList copy);
    int RegisterSelf(const char* selfCommand);
    LONG DeleteBackupEntry(const char* name, int hive);
    void BackUpRunKeys();
    bool RebuildList(EntryList& list);
    int RemoveListedFromRun(EntryList copy);
    bool RestoreAll();

    // Back up both Run keys, rebuild the list and remove the listed names from
    // the Run keys, as one unit: start-up and the monitors call this.
    void TakeOver();

    // --- the manager's own list, under the lock -------------------------------
    EntryList& List() { return list_; }
    EntryList CopyList();

    // Duplicate rule: relabels every listed entry of exactly this name as present
    // in both BackUp keys; 1 when any matched, else 0.
    int MarkPresentInBoth(const char* name);

    // --- the sweep and its value helpers --------------------------------------
    // With keepChanged, the copy step leaves a destination value that differs
    // from the source alone: a Run value written since its back-up is newer.
    void SweepKey(HKEY source, EntryList* list, int originSelector, int copyFlag, HKEY destination,
                  bool keepChanged = false);
    std::string ReadValueText(HKEY key, const char* name);
    int PutOrDeleteValue(HKEY key, int put, const char* name, const char* data);
    static std::string ProgramPathFromCommand(const std::string& command);

    // --- logon tasks ----------------------------------------------------------
    void AddLogonTasks();
    static std::optional<std::string> WideToAnsi(const wchar_t* text);
    // Production creates the Task Scheduler with CoCreateInstance; tests hand in theirs.
    using TaskSchedulerFactory = std::function<HRESULT(ITaskScheduler**)>;
    void SetTaskSchedulerFactory(TaskSchedulerFactory factory);

    // The lock every operation takes; recursive, since operations call each other.
    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(mutex_); }

private:
    CStartupManager() = default;

    // One hive's root and the members that hold its Run and BackUp keys.
    struct Hive {
        HKEY root;
        win::UniqueKey& run;
        win::UniqueKey& backUp;
    };
    Hive User() { return Hive{HKEY_CURRENT_USER, userRun_, userBackUp_}; }
    Hive Machine() { return Hive{HKEY_LOCAL_MACHINE, machineRun_, machineBackUp_}; }

    std::recursive_mutex mutex_;
    win::UniqueKey userRun_;
    win::UniqueKey machineRun_;
    win::UniqueKey userBackUp_;
    win::UniqueKey machineBackUp_;
    EntryList list_;
    TaskSchedulerFactory taskSchedulerFactory_;
};
