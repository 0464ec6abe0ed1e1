#pragma once
#include <windows.h>

#include <vector>

#include "win/Scoped.h"

namespace ready {

// The threads of a running process, opened with `access` (each also with
// THREAD_QUERY_LIMITED_INFORMATION): those this process may open. The
// process handle keeps its id from naming another process meanwhile.
std::vector<win::UniqueHandle> OpenThreadsOf(HANDLE process, DWORD access);

}  // namespace ready
