#pragma once
#include "launch/Launcher.h"

namespace machinekeys {

// After "Start Pacewick?" was answered No, with the keeper service installed:
// starts, once and now, the machine's entries that the service holds in their
// BackUp keys (another account may have ended its hold-off), as Windows would
// have started them from the Run keys. Writes no key, takes nothing over.
// The starts go through `starts` (tests record them; empty: the system's way).
void StartHeldMachineEntries(const launch::Launcher::Starts& starts = {});

}  // namespace machinekeys
