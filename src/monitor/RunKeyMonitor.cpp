#include "monitor/RunKeyMonitor.h"

#include <atomic>
#include <mutex>

#include "engine/Diagnostics.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "win/Scoped.h"

namespace {

// Name, attributes, last write and security, of the key and every subkey.
constexpr DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                                REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

struct Monitor {
    explicit Monitor(LPTHREAD_START_ROUTINE threadProcedure) : procedure(threadProcedure) {}

    LPTHREAD_START_ROUTINE procedure;
    win::UniqueHandle thread;
    // Set once the monitor has armed its first notification, or has ended.
    win::UniqueHandle ready{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

struct MonitorSet {
    std::mutex mutex;  // one Start or Stop at a time
    // Manual-reset: once set, every wait of both monitors sees it until the next start.
    win::UniqueHandle stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    Monitor user{MonitorCurrentUserRunKey};
    Monitor machine{MonitorMachineRunKey};
    std::atomic<long> takeOvers{0};
};

// Never destroyed: monitors still waiting when the process ends keep using it.
MonitorSet& Monitors() {
    static MonitorSet* const set = new MonitorSet();
    return *set;
}

bool StopRequested() { return WaitForSingleObject(Monitors().stop.Get(), 0) == WAIT_OBJECT_0; }

// Lets StartRunKeyMonitors go on however the monitor's set-up ends.
class ReadySignal {
public:
    explicit ReadySignal(HANDLE event) : event_(event) {}
    ~ReadySignal() { Raise(); }
    ReadySignal(const ReadySignal&) = delete;
    ReadySignal& operator=(const ReadySignal&) = delete;
    void Raise() const { SetEvent(event_); }

private:
    HANDLE event_;
};

DWORD RunMonitor(HKEY hive, HANDLE ready) {
    const ReadySignal signal(ready);
    win::UniqueKey key;
    const LONG opened = RegOpenKeyA(hive, keys::kRun, key.Put());
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    // Auto-reset, so that the wait itself consumes a change and a change that
    // comes during the take-over stays signalled for the next wait.
    win::UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!event) return GetLastError();
    if (!ArmRunKeyNotification(key.Get(), event.Get())) return 1;
    signal.Raise();
    while (AwaitRunKeyChange(key.Get(), event.Get())) {
    }
    return 0;
}

bool IsRunning(const Monitor& monitor) {
    return monitor.thread && WaitForSingleObject(monitor.thread.Get(), 0) == WAIT_TIMEOUT;
}

void Launch(Monitor& monitor) {
    if (IsRunning(monitor)) return;
    ResetEvent(monitor.ready.Get());
    monitor.thread.Reset(CreateThread(nullptr, 0, monitor.procedure, nullptr, 0, nullptr));
}

void AwaitReady(const Monitor& monitor) {
    if (!monitor.thread) return;
    const HANDLE either[] = {monitor.ready.Get(), monitor.thread.Get()};
    WaitForMultipleObjects(2, either, FALSE, INFINITE);
}

void Join(Monitor& monitor) {
    if (!monitor.thread) return;
    WaitForSingleObject(monitor.thread.Get(), INFINITE);
    monitor.thread.Reset();
}

}  // namespace

DWORD WINAPI MonitorCurrentUserRunKey(LPVOID) {
    return RunMonitor(HKEY_CURRENT_USER, Monitors().user.ready.Get());
}

DWORD WINAPI MonitorMachineRunKey(LPVOID) {
    return RunMonitor(HKEY_LOCAL_MACHINE, Monitors().machine.ready.Get());
}

bool ArmRunKeyNotification(HKEY key, HANDLE event) {
    const LONG status = RegNotifyChangeKeyValue(key, TRUE, kNotifyFilter, event, TRUE);
    if (status != ERROR_SUCCESS) {
        PrintLine("Error in RegNotifyChangeKeyValue (%d).\n", static_cast<int>(status));
        return false;
    }
    PrintLine("Waiting for a change in the specified key...\n");
    return true;
}

bool AwaitRunKeyChange(HKEY key, HANDLE event) {
    // The stop comes first, so that a stop and a change signalled together end the monitor.
    const HANDLE waitFor[] = {Monitors().stop.Get(), event};
    const DWORD woken = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return false;
    if (woken != WAIT_OBJECT_0 + 1) {
        PrintLine("Error in WaitForSingleObject (%d).\n", static_cast<int>(GetLastError()));
        return false;
    }
    PrintLine("\nChange has occurred.\n");
    // Armed again before the take-over: its own deletions and any change made
    // meanwhile wake the next cycle, which finds nothing new when there is none.
    const bool armed = ArmRunKeyNotification(key, event);
    if (StopRequested()) return false;
    ++Monitors().takeOvers;
    CStartupManager::GetInstance()->TakeOver();
    return armed;
}

void StartRunKeyMonitors() {
    MonitorSet& set = Monitors();
    const std::lock_guard<std::mutex> guard(set.mutex);
    ResetEvent(set.stop.Get());
    Launch(set.user);
    Launch(set.machine);
    AwaitReady(set.user);
    AwaitReady(set.machine);
}

void StopRunKeyMonitors() {
    MonitorSet& set = Monitors();
    const std::lock_guard<std::mutex> guard(set.mutex);
    SetEvent(set.stop.Get());
    Join(set.user);
    Join(set.machine);
}

long RunKeyTakeOverCount() { return Monitors().takeOvers.load(); }
