#include "ready/ProcessThreads.h"

#include <tlhelp32.h>

#include <cstddef>
#include <utility>

namespace ready {

// A thread's id is checked against its process once the thread is open: it
// may have ended and its id gone to another since the snapshot.
std::vector<win::UniqueHandle> OpenThreadsOf(HANDLE process, DWORD access) {
    std::vector<win::UniqueHandle> threads;
    const DWORD processId = GetProcessId(process);
    const win::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (processId == 0 || !snapshot || !Thread32First(snapshot.Get(), &entry)) return threads;
    constexpr DWORD kOwnerEnds = offsetof(THREADENTRY32, th32OwnerProcessID) + sizeof(DWORD);
    do {
        if (entry.dwSize < kOwnerEnds || entry.th32OwnerProcessID != processId) continue;
        win::UniqueHandle thread(OpenThread(access | THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        if (thread && GetProcessIdOfThread(thread.Get()) == processId) threads.push_back(std::move(thread));
        entry.dwSize = sizeof entry;
    } while (Thread32Next(snapshot.Get(), &entry));
    return threads;
}

}  // namespace ready
