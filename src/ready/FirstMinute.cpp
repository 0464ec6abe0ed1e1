#include "ready/FirstMinute.h"

#include <algorithm>
#include <utility>

#include "ready/ProcessThreads.h"

namespace ready {
namespace {

// MEMORY_PRIORITY_INFORMATION, which the headers declare for Windows 8 and
// later only; SetProcessInformation is looked up for the same reason.
struct MemoryPriority {
    ULONG value;
};
using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

bool SetMemoryPriority(HANDLE process, ULONG value) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set = kernel ? reinterpret_cast<SetProcessInformationFn>(
                                  reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")))
                            : nullptr;
    MemoryPriority priority{value};
    return set && set(process, ProcessMemoryPriority, &priority, sizeof priority);
}

std::uint64_t Milliseconds(const FILETIME& time) {
    return ((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) / 10000;
}

}  // namespace

FirstMinute::FirstMinute(Measured measured, std::chrono::milliseconds minute, PrioritySetter setter)
    : measured_(std::move(measured)),
      minute_(minute),
      setter_(setter ? std::move(setter) : PrioritySetter(&FirstMinute::SetPriority)),
      thread_([this] { Run(); }) {}

FirstMinute::~FirstMinute() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    for (Watched& program : TakeDue(Taken::All)) setter_(program.process.Get(), false);
}

bool FirstMinute::SetPriority(HANDLE process, bool lowered) {
    if (lowered) {
        const bool processor = SetPriorityClass(process, BELOW_NORMAL_PRIORITY_CLASS) != FALSE;
        return SetMemoryPriority(process, MEMORY_PRIORITY_BELOW_NORMAL) && processor;
    }
    // A program that chose its own priority meanwhile keeps it.
    const bool processor = GetPriorityClass(process) != BELOW_NORMAL_PRIORITY_CLASS ||
                           SetPriorityClass(process, NORMAL_PRIORITY_CLASS);
    return SetMemoryPriority(process, MEMORY_PRIORITY_NORMAL) && processor;
}

// Some systems (Wine) keep a process's times only for the process itself and
// answer others with what it had at its start; its running threads' times
// are then the better count, and never more than the true one.
bool FirstMinute::UsageOf(HANDLE process, Usage* usage) {
    FILETIME created, exited, kernel, user;
    IO_COUNTERS io{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user) || !GetProcessIoCounters(process, &io))
        return false;
    std::uint64_t threadsMs = 0;
    for (const win::UniqueHandle& thread : OpenThreadsOf(process, 0)) {
        FILETIME threadKernel, threadUser;
        if (GetThreadTimes(thread.Get(), &created, &exited, &threadKernel, &threadUser))
            threadsMs += Milliseconds(threadKernel) + Milliseconds(threadUser);
    }
    usage->cpuMs = std::max(Milliseconds(kernel) + Milliseconds(user), threadsMs);
    usage->diskBytes = io.ReadTransferCount + io.WriteTransferCount;
    return true;
}

void FirstMinute::Watch(std::wstring name, win::UniqueHandle process) {
    if (!process) return;
    setter_(process.Get(), true);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        watched_.push_back(Watched{std::move(name), std::move(process), std::chrono::steady_clock::now() + minute_, Usage{}, false});
    }
    changed_.notify_all();
}

std::vector<FirstMinute::Watched> FirstMinute::TakeDue(Taken which) {
    const bool all = which == Taken::All;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    const auto due = std::stable_partition(watched_.begin(), watched_.end(),
                                           [&](const Watched& program) { return !all && program.until > now; });
    std::vector<Watched> taken(std::make_move_iterator(due), std::make_move_iterator(watched_.end()));
    watched_.erase(due, watched_.end());
    return taken;
}

// The most a program was seen to have used: where only running threads are
// counted, what an ended program used is what was last seen.
void FirstMinute::Look(Watched& program) {
    Usage usage;
    if (!UsageOf(program.process.Get(), &usage)) return;
    program.seen.cpuMs = std::max(program.seen.cpuMs, usage.cpuMs);
    program.seen.diskBytes = std::max(program.seen.diskBytes, usage.diskBytes);
    program.measured = true;
}

// Wakes when the first watched minute ends, and every second to look at the
// programs still in theirs.
void FirstMinute::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stopping_) return;
            if (watched_.empty()) {
                changed_.wait(lock);
            } else {
                // A copy: the list may grow while this waits.
                const auto until = std::min_element(watched_.begin(), watched_.end(), [](const Watched& a,
                                                                                        const Watched& b) {
                                       return a.until < b.until;
                                   })->until;
                changed_.wait_until(lock, std::min(until, std::chrono::steady_clock::now() + kLookEvery));
            }
            if (stopping_) return;
            // Looking reads other processes: short, and the list holds only handles.
            for (Watched& program : watched_) Look(program);
        }
        for (Watched& program : TakeDue(Taken::Due)) {
            Look(program);
            setter_(program.process.Get(), false);
            if (program.measured) measured_(program.name, program.seen);
        }
    }
}

}  // namespace ready
