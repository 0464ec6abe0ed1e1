#pragma once

// The machine's start-up lists, changed by the program itself or, when the
// keeper service is installed, by the service: a program started at log-on
// has the user's standard rights and may not change a machine key.
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

// Whether the keeper holds off, as it keeps it in the registry (readable by every account).
bool KeeperHoldsOff();

}  // namespace machinekeys
