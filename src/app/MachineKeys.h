#pragma once
#include <windows.h>

#include <string>

#include "launch/Launcher.h"
#include "ui/PacewickDlg.h"

// The machine's start-up lists, changed by the program itself or, when the
// keeper service is installed, by the service: a program started
// at log-on has the user's standard rights and may not change a machine key.
namespace machinekeys {

// Whenever the keeper service is installed, running or not, the machine's
// lists are its own (never tries a write): the program's engine then changes
// only the user's (and never registers the program: the installer wrote its
// Run value), and its monitors watch the machine's BackUp places. A service that is
// starting is waited for as KeeperRunning does. True when it is installed;
// *answers (when given) tells whether it answered, so that the window can say
// that an installed service does not. Without the service, false: the program
// changes the machine's keys itself (a copy started by hand, a development build).
bool HandOverToKeeper(bool* answers = nullptr);

// After "Start Pacewick?" was answered Yes: ends the keeper's hold-off after a
// Restore All, this account's Pacewick taking over again. The service takes
// the machine's Run keys over before it answers, so that the list made next
// shows their entries. It grants that to an elevated administrator only:
// refused, the user is offered to repeat it as administrator (-RESUMEKEEPER).
void ResumeKeeper(HWND owner);

// After "Start Pacewick?" was answered No, with the keeper service installed:
// starts, once and now, the machine's entries that the service holds in their
// BackUp keys (another account may have ended its hold-off), as Windows would
// have started them from the Run keys. Writes no key, takes nothing over.
// The starts go through `starts` (tests record them; empty: the system's way).
void StartHeldMachineEntries(const launch::Launcher::Starts& starts = {});

// Restore All and Delete entry of the machine's lists through the keeper.
// Refused (an unelevated caller), each offers its elevated repetition. The
// window also says while the keeper holds off after a Restore All; with
// `offerEndingHoldOff`, an administrator's window then offers to end it, as a
// Yes to "Start Pacewick?" does (whoever restored may never answer it again).
CPacewickDlg::MachineLists ThroughKeeper(bool offerEndingHoldOff);

// Whether the keeper holds off, as it keeps it in the registry (readable by every account).
bool KeeperHoldsOff();
// Whether this process's account is an administrator's, elevated or not (UAC's
// filtered token keeps the administrators' group, for denying only).
bool IsAdministratorAccount();

// The switches of the elevated copy that an unelevated Pacewick starts when
// the keeper refuses it, each doing that one thing and nothing else:
//   -DELETEMACHINEENTRY ROWS NAME  the rows as a decimal set of bits, the name
//       as the hex digits of its UTF-16 units: deletes that name from those
//       machine BackUp keys (through the keeper when it runs);
//   -RESTOREMACHINE  puts the machine's entries back into their Run keys;
//   -RESUMEKEEPER  ends the keeper's hold-off after a restore.
// The last two go through the keeper where it is installed (when it does not
// answer, the user is told and nothing changes); without it the engine
// restores the machine's rows, and there is no hold-off. True when a switch
// was present (start-up then stops), malformed or not.
bool HandleElevatedSwitch();
bool HandleElevatedSwitch(const wchar_t* commandLine);
std::wstring DeleteSwitchParameters(ListSet rows, const std::wstring& name);

}  // namespace machinekeys
