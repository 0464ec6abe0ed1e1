#include "ready/ProgramPause.h"

#include <utility>

#include "ready/ProcessThreads.h"

namespace ready {

void ProgramPause::Add(HANDLE process) {
    if (GetProcessId(process) == GetCurrentProcessId()) return;  // it would hold this very thread
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy,
                        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0))
        processes_.emplace_back(copy);
}

void ProgramPause::Pause() {
    if (paused_) return;
    paused_ = true;
    for (const win::UniqueHandle& process : processes_)
        if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) PauseProcess(process.Get());
}

void ProgramPause::PauseProcess(HANDLE process) {
    for (win::UniqueHandle& thread : OpenThreadsOf(process, THREAD_SUSPEND_RESUME))
        if (SuspendThread(thread.Get()) != static_cast<DWORD>(-1)) suspended_.push_back(std::move(thread));
}

void ProgramPause::Resume() {
    for (const win::UniqueHandle& thread : suspended_) ResumeThread(thread.Get());
    suspended_.clear();
    paused_ = false;
}

}  // namespace ready
