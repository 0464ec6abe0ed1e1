#pragma once
#include <windows.h>

// Two threads, one per Run key, that wait for a change of their key and then run
// the engine's take-over, so that a program adding itself while Pacewick runs is
// taken over at once.

DWORD WINAPI MonitorCurrentUserRunKey(LPVOID unused);
DWORD WINAPI MonitorMachineRunKey(LPVOID unused);

// One cycle: arm the notification, wait for a change (or the stop), take over.
// True when the monitor goes on; false after an error or when told to stop.
bool AwaitRunKeyChange(HKEY key, HANDLE event);

// Starts both monitors, the current user's first.
void StartRunKeyMonitors();
// Ends both monitors and returns once neither runs nor will run a take-over; a
// take-over under way is finished first, never cut off.
void StopRunKeyMonitors();
