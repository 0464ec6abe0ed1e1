#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "sources/LogonTasks.h"
#include "sources/ReadRequests.h"

// Reads the logon tasks on a thread of its own, which initialises COM once for
// its life. The Task Scheduler may take seconds to answer, or never answer (its
// service may still be starting at log-on): nobody waits for it. Callers take
// the tasks of the last read and ask for a fresh one, which is told when done.
class LogonTaskReader {
public:
    LogonTaskReader();
    // Returns without waiting for a read under way (the scheduler may never
    // answer), but after any call of the read callback under way: none comes later.
    ~LogonTaskReader();
    LogonTaskReader(const LogonTaskReader&) = delete;
    LogonTaskReader& operator=(const LogonTaskReader&) = delete;

    // The tasks of the last read that ended (none before the first).
    EntryList Latest();
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
    // Shared with the reading thread, which may outlive the reader.
    struct State : ReadRequests {
        TaskSchedulerFactory factory;
        EntryList latest;
        unsigned long long factoryChanges = 0;
    };
    static void AskLocked(const std::shared_ptr<State>& state);
    static void Run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};
