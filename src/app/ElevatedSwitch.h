#pragma once
#include <string>

#include "entry/StartupEntry.h"

// The switches of the elevated copy that an unelevated Pacewick starts when
// the keeper refuses it, each doing that one thing and nothing else:
//   -DELETEMACHINEENTRY ROWS NAME  the rows as a decimal set of bits, the name
//       as the hex digits of its UTF-16 units: deletes that name from those
//       machine BackUp keys (through the keeper when it runs);
//   -RESTOREMACHINE  puts the machine's entries back into their Run keys;
//   -RESUMEKEEPER  ends the keeper's hold-off after a restore.
// The last two go through the keeper where it is installed (when it does not
// answer, the user is told and nothing changes); without it the engine
// restores the machine's rows, and there is no hold-off.
namespace machinekeys {

// True when a switch was present (start-up then stops), malformed or not.
bool HandleElevatedSwitch();
bool HandleElevatedSwitch(const wchar_t* commandLine);
std::wstring DeleteSwitchParameters(ListSet rows, const std::wstring& name);

}  // namespace machinekeys
