#pragma once
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/EntryList.h"
#include "keeper/CallerCheck.h"
#include "keeper/PipeServer.h"
#include "keeper/link/KeeperProtocol.h"
#include "monitor/RegistryWatcher.h"

namespace keeper {

// The rows of StartupLists() the keeper keeps: the machine's Run keys, both views.
ListSet MachineRows();

// Where the hold-off after a restore is kept, so that a restart of the service
// does not undo it: a DWORD under the machine's own key of the program (64-bit view).
constexpr const char* kKeeperKey = "software\\Quorvell Software\\Pacewick";
constexpr const wchar_t* kHoldOffValue = L"KeeperHoldOff";

// pacewick-keeper.exe -restore-for-removal: run by the package's removal as the
// system, once the service is stopped and before any file goes. Puts the
// machine's entries (both views), and nothing else, back into their Run keys,
// with a line in the log. The exit code for the installer: 0 when every entry
// is back, else 1, which makes the installer undo the removal.
int RestoreForRemoval();

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
    };

    explicit Keeper(Options options);
    ~Keeper();
    Keeper(const Keeper&) = delete;
    Keeper& operator=(const Keeper&) = delete;

    // The pipe, the Run-key watchers, then the first take-over. False when the
    // pipe could not be made at once: it is tried again until Stop, and the
    // take-overs go on (the keys are kept all the same).
    bool Start();
    // Pipe first, then the watchers; a take-over under way is finished, never cut off.
    void Stop();

    // One request from the pipe (tests call it directly too).
    Reply Handle(const Request& request, HANDLE pipe);

    long TakeOverCount() const;

private:
    bool HeldOff();
    bool SetHeldOff(bool held);
    void TakeOverUnlessHeld(const char* why);
    Reply Restore(const char* why);
    Reply Resume();
    Reply Delete(const Request& request, HANDLE pipe);
    // Whether the pipe's client may change the machine (options_.callerCheck).
    bool Granted(HANDLE pipe) const;

    Options options_;
    // One keeper operation at a time: the hold-off is decided and acted on as
    // one, so that no take-over decided before a restore runs after it.
    mutable std::mutex work_;
    long takeOvers_ = 0;
    std::vector<std::unique_ptr<RegistryWatcher>> watchers_;
    PipeServer server_;
};

}  // namespace keeper
