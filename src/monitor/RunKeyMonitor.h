#pragma once
#include <windows.h>

// Two threads, one per Run key, that wait for a change of their key and then run
// the engine's take-over, so that a program adding itself while Pacewick runs is
// taken over at once.

DWORD WINAPI MonitorCurrentUserRunKey(LPVOID unused);
DWORD WINAPI MonitorMachineRunKey(LPVOID unused);

// Asks for one change notification of the key (and its subkeys) through the
// event; false, after its diagnostic line, when the registry refuses.
bool ArmRunKeyNotification(HKEY key, HANDLE event);

// One cycle on a notification armed by ArmRunKeyNotification: wait for a change
// (or the stop), arm again, take over. Arming before the take-over means that a
// change made while it runs causes one more cycle instead of going unseen.
// True when the monitor goes on; false after an error or when told to stop.
bool AwaitRunKeyChange(HKEY key, HANDLE event);

// Starts both monitors, the current user's first, and returns once each has
// armed its notification (or ended), so that every later change is seen.
// Does nothing for monitors that already run.
void StartRunKeyMonitors();
// Ends both monitors and returns once neither runs nor will run a take-over; a
// take-over under way is finished first, never cut off. Must not be called while
// holding the engine's lock, which that take-over needs.
void StopRunKeyMonitors();

// The number of take-overs the monitors have begun since the process started.
long RunKeyTakeOverCount();
