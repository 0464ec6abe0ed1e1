#include "app/RunKeyMonitors.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "app/PacewickApp.h"
#include "engine/StartupManager.h"
#include "engine/StartupLists.h"
#include "monitor/RegistryWatcher.h"
#include "win/Diagnostics.h"

namespace {

std::atomic<bool> watchMachineBackUp{false};

struct Monitors {
    std::mutex mutex;  // one Start or Stop at a time
    std::vector<std::unique_ptr<RegistryWatcher>> watchers;
    std::atomic<long> takeOvers{0};

    Monitors() {
        for (const StartupList& list : StartupLists()) {
            const bool backUp = watchMachineBackUp && list.root == HKEY_LOCAL_MACHINE;
            watchers.push_back(std::make_unique<RegistryWatcher>(list.root, backUp ? list.backUpPath : list.runPath,
                                                                 list.view, [this] {
                ++takeOvers;
                CStartupManager::GetInstance()->TakeOver();
            }));
        }
    }
};

// Never destroyed: monitors still waiting when the process ends keep using it.
Monitors& TheMonitors() {
    static Monitors* const monitors = new Monitors();
    return *monitors;
}

}  // namespace

void WatchMachineBackUpKeys(bool watch) { watchMachineBackUp = watch; }

void StartRunKeyMonitors() {
    Monitors& monitors = TheMonitors();
    const std::lock_guard<std::mutex> guard(monitors.mutex);
    for (const auto& watcher : monitors.watchers) watcher->Start();
}

bool StopRunKeyMonitorsWithin(DWORD timeoutMs) {
    Monitors& monitors = TheMonitors();
    const std::lock_guard<std::mutex> guard(monitors.mutex);
    for (const auto& watcher : monitors.watchers) watcher->RequestStop();
    // One bound for all: the monitors end together, so their waits overlap.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool stopped = true;
    for (const auto& watcher : monitors.watchers) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        stopped = watcher->Stop(left) && stopped;
    }
    if (!stopped) PrintLine("Run-key monitor did not stop in time\n");
    return stopped;
}

void StopRunKeyMonitors() { StopRunKeyMonitorsWithin(kRunKeyMonitorStopTimeout); }

long RunKeyTakeOverCount() { return TheMonitors().takeOvers.load(); }

void CPacewickApp::StopRunKeyMonitors() { ::StopRunKeyMonitors(); }
