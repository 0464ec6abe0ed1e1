#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "takeover/OwnedEngine.h"
#include "entry/EntryList.h"
#include "accounts/EveryAccount.h"
#include "events/EventLog.h"
#include "keeper/CallerCheck.h"
#include "keeper/PipeServer.h"
#include "keeperlink/KeeperProtocol.h"
#include "monitor/ChangeWatcher.h"

namespace keeper {

// The keeper's account of the engine's events: deletions are counted for its
// own lines ("Taken over: N entries"); what went wrong or stays in place is
// logged (a file not deleted too); the routine copies and the misses of the
// identical-copy rule are not, since they would fill the log at every change.
// What it logs is reported to the Event Log too (`log`, when given), the
// items a user can make it leave again and again within the refusals' cap.
class KeeperEvents : public ItemEventSink {
public:
    explicit KeeperEvents(events::Sink* log = nullptr) : log_(log) {}
    void Report(const ItemEvent& event) override;
    unsigned long Deletions() const { return deletions_.load(); }
    events::Sink* Events() const { return log_; }

private:
    void Left(const ItemEvent& event, const char* why, events::Type type);

    events::Sink* log_;
    std::atomic<unsigned long> deletions_{0};
    takeover::PrintedEvents lines_;  // into the log, through its diagnostic sink
};


// pacewick-keeper.exe -restore-for-removal: run by the package's removal as the
// system, once the service is stopped and before any file goes. Ends every
// running Pacewick of every session first (RemovalNotice.h), then puts every
// account's held programs back into its own Run key and Startup folder, then
// the machine's (both views), with lines in the log. The exit code for the
// installer: 0 when every machine entry is back, else 1 (a Pacewick still runs
// too), which makes the installer undo the removal. An account's programs that
// stay held are named (in the log and the Event Log) and do not stop the
// removal: its account could otherwise keep any removal from ever succeeding,
// by holding a file open.
int RestoreForRemoval(events::Sink* log = nullptr, const accounts::Places& accounts = accounts::Places{});

// The keeper service's work, without the service control: at its start and
// after every change of a machine Run key it takes them over into their BackUp
// keys with the engine (the program's own take-over, restricted to the
// machine's rows), unless held off after a restore; and it serves the
// accounts' requests on its pipe. It never starts a program.
class Keeper {
public:
    struct Options {
        std::wstring pipeName = kPipeName;
        CallerCheck callerCheck = CallerIsElevatedAdministrator;
        // Where its events go besides its log (the service: the Event Log).
        events::Sink* events = nullptr;
    };

    explicit Keeper(Options options);
    ~Keeper();
    Keeper(const Keeper&) = delete;
    Keeper& operator=(const Keeper&) = delete;

    // The pipe, the Run-key watchers, then the first take-over. False when the
    // pipe could not be made at once: it is tried again until Stop, and the
    // take-overs go on (the keys are kept all the same).
    bool Start();
    // Pipe first, then the watchers; a take-over under way is finished, never
    // cut off. The first Stop after a Start says so in the Event Log.
    void Stop();

    // One request from the pipe (tests call it directly too).
    Reply Handle(const Request& request, HANDLE pipe);

    // The rows of the source table the keeper keeps: the machine's.
    ListSet MachineRows() const { return engine_.Rows(takeover::kMachineScope); }
    // What the keeper holds, as its last take-over read it (without companies).
    EntryList Held() { return engine_.model.CopyList(); }

private:
    bool HeldOff();
    bool SetHeldOff(bool held);
    void TakeOverUnlessHeld(const char* why);
    Reply Restore(const char* why);
    Reply Resume();
    Reply Delete(const Request& request, HANDLE pipe);
    // Whether the pipe's client may change the machine (options_.callerCheck).
    bool Granted(HANDLE pipe) const;
    // A refusal into the log, and into the Event Log while the log's cap lets it in.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void Refuse(const char* format, ...);

    Options options_;
    // One keeper operation at a time: the hold-off is decided and acted on as
    // one, so that no take-over decided before a restore runs after it.
    std::mutex work_;
    KeeperEvents events_;
    takeover::OwnedEngine engine_;
    WatcherSet watchers_;
    PipeServer server_;
    std::atomic<bool> started_{false};
};

}  // namespace keeper
