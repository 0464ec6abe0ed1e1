#pragma once
#include <windows.h>

#include <string>

#include "ui/PacewickDlg.h"

// The machine's start-up lists, changed by the program itself or, when the
// keeper service is installed and running, by the service: a program started
// at log-on has the user's standard rights and may not change a machine key.
namespace machinekeys {

// Asks the keeper service (never tries a write). When it keeps the machine's
// lists, the engine changes only the user's from now on (and never registers
// the program: the installer wrote its Run value), and the monitors watch the
// machine's BackUp keys. True when the service keeps them.
bool HandOverToKeeper();

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
