#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "win/Scoped.h"

// Watches one registry key (and its subkeys) on a thread of its own and calls
// back after every change, so that a program adding itself to a Run key while
// Pacewick runs is taken over at once. The watcher knows nothing of what the
// callback does.
class RegistryWatcher {
public:
    using Callback = std::function<void()>;

    // The key is root\path in the given registry view (0 for the default).
    RegistryWatcher(HKEY root, std::string path, REGSAM view, Callback onChange);
    // Stops the watcher, waiting as long as its callback takes: the thread uses
    // this object until it ends.
    ~RegistryWatcher();
    RegistryWatcher(const RegistryWatcher&) = delete;
    RegistryWatcher& operator=(const RegistryWatcher&) = delete;

    // Starts the thread and returns once it has armed its first notification
    // (or ended, when the key cannot be opened or watched), so that every later
    // change is seen. Does nothing while the watcher runs.
    void Start();
    // Tells the watcher to end, without waiting: lets several end together.
    void RequestStop();
    // Ends the watcher and returns once it neither runs nor will call back; a
    // callback under way is finished first, never cut off. True once ended;
    // false when the thread has not ended within timeoutMs: it then still runs
    // (its callback goes on and it ends after it), and Start does nothing until
    // it has ended.
    bool Stop(DWORD timeoutMs = INFINITE);

private:
    static DWORD WINAPI ThreadProcedure(LPVOID watcher);
    DWORD Watch();
    bool IsRunning() const;

    HKEY root_;
    std::string path_;
    REGSAM view_;
    Callback onChange_;
    win::UniqueHandle thread_;
    // Manual-reset: once set, every wait sees it until the next start.
    win::UniqueHandle stop_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    // Set once the thread has armed its first notification, or has ended.
    win::UniqueHandle ready_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

// Asks for one change notification of the key (and its subkeys) through the
// event; false, after its diagnostic line, when the registry refuses.
bool ArmRunKeyNotification(HKEY key, HANDLE event);

// One cycle on a notification armed by ArmRunKeyNotification: wait for a change
// (or the stop), arm again, call back. Arming before the callback means that a
// change made while it runs causes one more cycle instead of going unseen.
// True when the watcher goes on; false after an error or when told to stop.
bool AwaitRunKeyChange(HKEY key, HANDLE event, HANDLE stop, const std::function<void()>& onChange);
