#include "monitor/RegistryWatcher.h"

#include <utility>

#include "win/Diagnostics.h"

namespace {

// Name, attributes, last write and security, of the key and every subkey.
constexpr DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                                REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

bool ArmRunKeyNotification(HKEY key, HANDLE event) {
    const LONG status = RegNotifyChangeKeyValue(key, TRUE, kNotifyFilter, event, TRUE);
    if (status != ERROR_SUCCESS) {
        PrintLine("Error in RegNotifyChangeKeyValue (%d).\n", static_cast<int>(status));
        return false;
    }
    PrintLine("Waiting for a change in the specified key...\n");
    return true;
}

bool AwaitRunKeyChange(HKEY key, HANDLE event, HANDLE stop, const std::function<void()>& onChange) {
    // The stop comes first, so that a stop and a change signalled together end the watcher.
    const HANDLE waitFor[] = {stop, event};
    const DWORD woken = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return false;
    if (woken != WAIT_OBJECT_0 + 1) {
        PrintLine("Error in WaitForSingleObject (%d).\n", static_cast<int>(GetLastError()));
        return false;
    }
    PrintLine("\nChange has occurred.\n");
    // Armed again before the callback: its own changes and any change made
    // meanwhile wake the next cycle, which finds nothing new when there is none.
    const bool armed = ArmRunKeyNotification(key, event);
    if (IsSet(stop)) return false;
    onChange();
    return armed;
}

RegistryWatcher::RegistryWatcher(HKEY root, std::string path, REGSAM view, Callback onChange)
    : root_(root), path_(std::move(path)), view_(view), onChange_(std::move(onChange)) {}

RegistryWatcher::~RegistryWatcher() { Stop(); }

bool RegistryWatcher::IsRunning() const {
    return thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

void RegistryWatcher::Start() {
    if (IsRunning()) return;
    ResetEvent(stop_.Get());
    ResetEvent(ready_.Get());
    thread_.Reset(CreateThread(nullptr, 0, ThreadProcedure, this, 0, nullptr));
    if (!thread_) return;
    const HANDLE either[] = {ready_.Get(), thread_.Get()};
    WaitForMultipleObjects(2, either, FALSE, INFINITE);
}

void RegistryWatcher::RequestStop() { SetEvent(stop_.Get()); }

bool RegistryWatcher::Stop(DWORD timeoutMs) {
    RequestStop();
    if (!thread_) return true;
    // The handle is kept while the thread runs, so that a later Start or Stop still knows of it.
    if (WaitForSingleObject(thread_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    thread_.Reset();
    return true;
}

DWORD WINAPI RegistryWatcher::ThreadProcedure(LPVOID watcher) {
    return static_cast<RegistryWatcher*>(watcher)->Watch();
}

DWORD RegistryWatcher::Watch() {
    win::UniqueKey key;
    // Auto-reset, so that the wait itself consumes a change and a change that
    // comes during the callback stays signalled for the next wait.
    win::UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    const bool armed = event && RegOpenKeyExA(root_, path_.c_str(), 0, KEY_NOTIFY | view_, key.Put()) == 0 &&
                       ArmRunKeyNotification(key.Get(), event.Get());
    SetEvent(ready_.Get());  // armed or ended: Start goes on either way
    if (!armed) return 1;
    while (AwaitRunKeyChange(key.Get(), event.Get(), stop_.Get(), onChange_)) {
    }
    return 0;
}
