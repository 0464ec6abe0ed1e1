#pragma once
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "sources/LogonTasks.h"

// Reads the logon tasks on a thread of its own, which initialises COM once for
// its life. The Task Scheduler may take seconds to answer, or never answer (its
// service may still be starting at log-on): nobody waits for it. Callers take
// the tasks of the last read and ask for a fresh one, which is told when done.
class LogonTaskReader {
public:
    LogonTaskReader() = default;
    LogonTaskReader(const LogonTaskReader&) = delete;
    LogonTaskReader& operator=(const LogonTaskReader&) = delete;
    // Never destroyed while its thread may run: its owner lives as long as the process.

    // The tasks of the last read that ended (none before the first).
    std::vector<StartupEntry> Latest();
    // Asks for a fresh read; returns at once. Requests made while one read runs
    // are served by one more read after it.
    void Request();
    // The same, unless a read was ever asked for: for callers that rebuild often.
    void RequestFirstRead();
    // Waits until every read requested before this call has ended; false when
    // that takes longer than the time limit.
    bool WaitForReads(DWORD timeoutMs);
    // Called on the reader's thread after each read that changed the tasks.
    void SetOnRead(std::function<void()> onRead);
    // From now on the scheduler comes from this factory (none: the system's);
    // the tasks read so far, and those of a read under way, are dropped.
    void SetFactory(TaskSchedulerFactory factory);
    TaskSchedulerFactory Factory();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    TaskSchedulerFactory factory_;
    std::function<void()> onRead_;
    std::vector<StartupEntry> latest_;
    unsigned long long requested_ = 0;  // reads asked for
    unsigned long long ended_ = 0;      // of those, how many an ended read has served
    unsigned long long factoryChanges_ = 0;
    bool threadStarted_ = false;
};
