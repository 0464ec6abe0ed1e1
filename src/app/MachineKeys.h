#pragma once
#include <windows.h>

#include <string>

#include "ui/PacewickDlg.h"

// The machine's start-up lists, changed by the program itself or, when the
// keeper service is installed, by the service: a program started
// at log-on has the user's standard rights and may not change a machine key.
namespace machinekeys {

// Whenever the keeper service is installed, running or not, the machine's
// lists are its own (never tries a write): the engine changes only the user's
// from now on (and never registers the program: the installer wrote its Run
// value), and the monitors watch the machine's BackUp keys. A service that is
// starting is waited for as KeeperRunning does. True when it is installed;
// *answers (when given) tells whether it answered, so that the window can say
// that an installed service does not. Without the service, false: the program
// changes the machine's keys itself (a copy started by hand, a development build).
bool HandOverToKeeper(bool* answers = nullptr);

// Ends the keeper's hold-off after a Restore All: this account's Pacewick is
// taking over again. The service takes the machine's Run keys over before it
// answers, so that the list made next shows their entries.
void ResumeKeeper();

// Restore All and Delete entry of the machine's lists through the keeper.
CPacewickDlg::MachineLists ThroughKeeper();

// The switch of the elevated copy that Delete entry starts when the keeper
// refuses an unelevated caller: "-DELETEMACHINEENTRY ROWS NAME", the rows as a
// decimal set of bits, the name as the hex digits of its UTF-16 units. Deletes
// that name from those machine BackUp keys (through the keeper when it runs)
// and nothing else. True when the switch was present (start-up then stops).
bool HandleDeleteSwitch();
bool HandleDeleteSwitch(const wchar_t* commandLine);
std::wstring DeleteSwitchParameters(ListSet rows, const std::wstring& name);

}  // namespace machinekeys
