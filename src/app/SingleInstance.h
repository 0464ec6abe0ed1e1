#pragma once
#include <windows.h>

#include "win/Scoped.h"

// The mutex a running Pacewick owns for its whole life, in this session: whoever
// owns it knows that no other instance of the program is at work on the keys.
//
// Waits up to `milliseconds` to own it. WAIT_OBJECT_0, or WAIT_ABANDONED when
// the owner was killed: the mutex is handed over as owned. WAIT_TIMEOUT: an
// instance runs. WAIT_FAILED: the mutex could not be made or waited for.
DWORD WaitForInstanceMutex(DWORD milliseconds, win::UniqueHandle* owned);
