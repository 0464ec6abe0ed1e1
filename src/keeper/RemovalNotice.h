#pragma once
#include <windows.h>

#include <string>

#include "win/ModulePath.h"

// The first part of the package's removal as the system: every Pacewick of
// every session (Fast User Switching, Remote Desktop) ends before the held
// programs go back, since one still running would take its account's
// programs over again, and hold them for ever once the package is gone.
namespace keeper {

// keys::kRemovalStarted in the machine's program key, set for as long as the
// notice is up: every running Pacewick that sees it ends as its Exit does, and
// one that starts meanwhile takes nothing over (app/RemovalWatch.h).
class RemovalNotice {
public:
    // Sets the value to the time now, with a line in the log.
    RemovalNotice();
    // Withdraws it, if Withdraw has not.
    ~RemovalNotice();
    RemovalNotice(const RemovalNotice&) = delete;
    RemovalNotice& operator=(const RemovalNotice&) = delete;

    // Deletes the value, with a line in the log: the removal goes on, or is undone.
    void Withdraw();

private:
    bool up_ = false;
};

// As long as the account's own step waits for its Pacewick (kRemovalWait),
// then for those it had to end.
constexpr DWORD kPacewickEndWait = 10000;
constexpr DWORD kEndedPacewickWait = 2000;

struct PacewickSweep {
    // Only processes of this very file are waited for and ended: a program of
    // another folder that is named pacewick.exe too is never touched.
    std::wstring program = win::BesideExecutable(L"pacewick.exe");
    DWORD waitMs = kPacewickEndWait;    // for all of them together
    DWORD endedWaitMs = kEndedPacewickWait;
    // How one is ended: TerminateProcess; a test's stands for a process that
    // outlives it, which Wine cannot show.
    BOOL(WINAPI* end)(HANDLE process, UINT exitCode) = TerminateProcess;
};

// Waits for every running `program` of every session to end, at most waitMs
// in all; ends any still running then (TerminateProcess) and waits endedWaitMs
// more. Each step is a line in the log, by session and process id. False when
// one still runs: the removal must not go on.
bool EndEveryPacewick(const PacewickSweep& sweep = {});

}  // namespace keeper
