#include "monitor/ChangeWatcher.h"

#include <utility>

#include "win/Diagnostics.h"

namespace {

// Name, attributes, last write and security, of the key and every subkey.
constexpr DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                                REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

bool ArmRunKeyNotification(HKEY key, HANDLE event, bool valuesOnly) {
    // Values alone: a value added, changed or deleted in the key itself.
    const LONG status = RegNotifyChangeKeyValue(key, valuesOnly ? FALSE : TRUE,
                                                valuesOnly ? REG_NOTIFY_CHANGE_LAST_SET : kNotifyFilter, event, TRUE);
    if (status != ERROR_SUCCESS) {
        PrintLine("Error in RegNotifyChangeKeyValue (%d).\n", static_cast<int>(status));
        return false;
    }
    PrintLine("Waiting for a change in the specified key...\n");
    return true;
}

bool AwaitRunKeyChange(HKEY key, HANDLE event, HANDLE stop, const std::function<void()>& onChange, bool valuesOnly) {
    // The stop comes first, so that a stop and a change signalled together end the watcher.
    const HANDLE waitFor[] = {stop, event};
    const DWORD woken = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return false;
    if (woken != WAIT_OBJECT_0 + 1) {
        // The wait is WaitForMultipleObjects, on the stop and the change; the
        // line keeps the words that readers of the program's output know.
        PrintLine("Error in WaitForSingleObject (%d).\n", static_cast<int>(GetLastError()));
        return false;
    }
    PrintLine("\nChange has occurred.\n");
    // Armed again before the callback: its own changes and any change made
    // meanwhile wake the next cycle, which finds nothing new when there is none.
    const bool armed = ArmRunKeyNotification(key, event, valuesOnly);
    if (IsSet(stop)) return false;
    onChange();
    return armed;
}

ChangeWatcher::ChangeWatcher(WatchTarget target, Callback onChange)
    : target_(std::move(target)), onChange_(std::move(onChange)) {}

ChangeWatcher::~ChangeWatcher() { Stop(); }

bool ChangeWatcher::IsRunning() const {
    return thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

void ChangeWatcher::Start() {
    if (IsRunning()) return;
    ResetEvent(stop_.Get());
    ResetEvent(ready_.Get());
    thread_.Reset(CreateThread(nullptr, 0, ThreadProcedure, this, 0, nullptr));
    if (!thread_) return;
    const HANDLE either[] = {ready_.Get(), thread_.Get()};
    WaitForMultipleObjects(2, either, FALSE, INFINITE);
}

void ChangeWatcher::RequestStop() { SetEvent(stop_.Get()); }

bool ChangeWatcher::Stop(DWORD timeoutMs) {
    RequestStop();
    if (!thread_) return true;
    // The handle is kept while the thread runs, so that a later Start or Stop still knows of it.
    if (WaitForSingleObject(thread_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    thread_.Reset();
    return true;
}

DWORD WINAPI ChangeWatcher::ThreadProcedure(LPVOID watcher) {
    return static_cast<ChangeWatcher*>(watcher)->Watch();
}

DWORD ChangeWatcher::Watch() { return target_.folder.empty() ? WatchKey() : WatchFolder(); }

DWORD ChangeWatcher::WatchKey() {
    win::UniqueKey key;
    // Auto-reset, so that the wait itself consumes a change and a change that
    // comes during the callback stays signalled for the next wait.
    win::UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    const bool armed = event && RegOpenKeyExW(target_.root, target_.path.c_str(), 0, KEY_NOTIFY | target_.view, key.Put()) == 0 &&
                       ArmRunKeyNotification(key.Get(), event.Get(), target_.valuesOnly);
    SetEvent(ready_.Get());  // armed or ended: Start goes on either way
    if (!armed) return 1;
    while (AwaitRunKeyChange(key.Get(), event.Get(), stop_.Get(), onChange_, target_.valuesOnly)) {
    }
    return 0;
}

// A folder's notification is its own handle, armed again by FindNextChangeNotification.
DWORD ChangeWatcher::WatchFolder() {
    constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                              FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
    win::UniqueFindChange change(FindFirstChangeNotificationW(target_.folder.c_str(), FALSE, kFilter));
    SetEvent(ready_.Get());
    if (!change) {
        PrintLine("Error in FindFirstChangeNotification (%d).\n", static_cast<int>(GetLastError()));
        return 1;
    }
    const HANDLE waitFor[] = {stop_.Get(), change.Get()};
    for (;;) {
        if (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
        // Armed again before the callback, as for a key.
        const bool armed = FindNextChangeNotification(change.Get()) != FALSE;
        if (IsSet(stop_.Get())) return 0;
        onChange_();
        if (!armed) return 1;
    }
}

WatcherSet::WatcherSet(const std::vector<WatchTarget>& targets, ChangeWatcher::Callback onChange)
    : WatcherSet(targets, [onChange = std::move(onChange)](std::size_t) { onChange(); }) {}

WatcherSet::WatcherSet(const std::vector<WatchTarget>& targets, TargetCallback onChange) {
    for (std::size_t index = 0; index < targets.size(); ++index)
        watchers_.push_back(std::make_unique<ChangeWatcher>(targets[index], [this, index, onChange] {
            ++changes_;
            onChange(index);
        }));
}

void WatcherSet::Start() {
    const std::lock_guard<std::mutex> guard(mutex_);
    stopAsked_ = false;
    for (const auto& watcher : watchers_) watcher->Start();
}

bool WatcherSet::Stop(DWORD timeoutMs) {
    const std::lock_guard<std::mutex> guard(mutex_);
    stopAsked_ = true;
    for (const auto& watcher : watchers_) watcher->RequestStop();
    // One bound for all: the watchers end together, so their waits overlap.
    const ULONGLONG deadline = timeoutMs == INFINITE ? ~0ull : GetTickCount64() + timeoutMs;
    bool stopped = true;
    for (const auto& watcher : watchers_) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = timeoutMs == INFINITE ? INFINITE : now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        stopped = watcher->Stop(left) && stopped;
    }
    if (!stopped) PrintLine("Run-key monitor did not stop in time\n");
    return stopped;
}
