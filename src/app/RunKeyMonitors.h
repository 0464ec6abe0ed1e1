#pragma once
#include <windows.h>

// The Run-key monitors: one watcher per start-up list's Run key, each of which
// runs the engine's take-over after every change of its key.

// While the keeper service keeps the machine's Run keys, the machine's monitors
// watch their BackUp keys instead, where the service puts what it takes over, so
// that the list shows it. Called before the first StartRunKeyMonitors.
void WatchMachineBackUpKeys(bool watch);

// Starts every monitor, the current user's first, and returns once each has
// armed its notification (or ended), so that every later change is seen.
// Does nothing for monitors that already run.
void StartRunKeyMonitors();
// Ends every monitor and returns once none runs nor will run a take-over; a
// take-over under way is finished first, never cut off. Must not be called
// while holding the engine's lock, which that take-over needs.
// The wait is bounded, so that the program never lingers without a window:
// when a monitor has not ended within the bound (for all of them together), a
// diagnostic line says so and the stop returns anyway; that monitor still
// ends after its take-over, and no later one begins.
constexpr DWORD kRunKeyMonitorStopTimeout = 5000;
void StopRunKeyMonitors();
// The same with a bound of one's own; false when it ran out.
bool StopRunKeyMonitorsWithin(DWORD timeoutMs);

// The number of take-overs the monitors have begun since the process started.
long RunKeyTakeOverCount();
