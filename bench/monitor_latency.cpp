// How long a program that adds itself to a Run key stays there while Pacewick
// runs: with both monitors running, values are added one at a time (each after
// the monitors have come to rest) and timed until each is gone from its Run key
// and kept in its BackUp key. The monitors hand what they move to the window,
// as the program's do; rounds with its notices on and off take turns (the tray
// icon's shell stood in for). Then the CPU time the process uses while idle.
#include "BenchClock.h"
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <atomic>
#include <thread>

#include "RegistrySandbox.h"
#include "win/Diagnostics.h"
#include "TestHelpers.h"
#include "monitor/ChangeWatcher.h"
#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/MainWindowClass.h"
#include "ui/NewcomerInbox.h"
#include "ui/PacewickDlg.h"

namespace {

constexpr int kWarmUp = 5;
constexpr int kMeasured = 240;
constexpr int kRound = 20;  // values a round, notices on and off in turn
constexpr int kEarlierEntriesPerHive = 15;  // a machine with a few programs taken over before
constexpr DWORD kIdleMs = 5000;
const HKEY kHives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

double Now() { return NowMs(); }

double Percentile(std::vector<double> latencies, double p) {
    if (latencies.empty()) return -1.0;
    std::sort(latencies.begin(), latencies.end());
    const std::size_t rank = static_cast<std::size_t>(std::ceil(p * latencies.size()));
    return latencies[std::min(latencies.size(), std::max<std::size_t>(rank, 1)) - 1];
}

double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

bool HasValue(HKEY key, const char* name) {
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Waits until no monitor has begun a take-over for quietMs.
void AwaitRest(const WatcherSet& monitors, DWORD quietMs) {
    long seen = monitors.ChangeCount();
    ULONGLONG quietSince = GetTickCount64();
    while (GetTickCount64() - quietSince < quietMs) {
        Sleep(1);
        if (monitors.ChangeCount() != seen) {
            seen = monitors.ChangeCount();
            quietSince = GetTickCount64();
        }
    }
}

struct HiveKeys {
    win::UniqueKey run, backUp;
};

// Adds one value and returns the milliseconds until it is taken over, or -1.
double TimeOne(HiveKeys& hive, const std::string& name) {
    const std::string data = "\"C:\\Program Files\\Bench\\" + name + ".exe\" /background";
    const double start = Now();
    RegSetValueExA(hive.run.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    while (HasValue(hive.run.Get(), name.c_str()) || !HasValue(hive.backUp.Get(), name.c_str())) {
        if (Now() - start > 5000) return -1;
        Sleep(1);
    }
    const double elapsed = Now() - start;
    RegDeleteValueA(hive.backUp.Get(), name.c_str());  // keeps the BackUp keys at their usual size
    return elapsed;
}

}  // namespace

int main() {
    RegistrySandbox sandbox;
    HiveKeys hives[2];
    for (int h = 0; h < 2; ++h) {
        RegOpenKeyExW(kHives[h], keys::kRun, 0, KEY_ALL_ACCESS, hives[h].run.Put());
        RegOpenKeyExW(kHives[h], keys::kBackUp, 0, KEY_ALL_ACCESS, hives[h].backUp.Put());
        for (int i = 0; i < kEarlierEntriesPerHive; ++i)
            RegistrySandbox::PutText(kHives[h], keys::kBackUp, ("Earlier-" + std::to_string(h) + "-" + std::to_string(i)).c_str(),
                                     "C:\\Earlier\\program" + std::to_string(i) + ".exe -quiet");
    }
    RegistrySandbox::PutText(HKEY_LOCAL_MACHINE, keys::kRun, keys::kSelfValueName, "\"C:\\P\\pacewick.exe\"");
    DiagnosticsEnabled() = false;  // the console, not the monitors, would be timed otherwise
    TestEngine engine;
    ui::NewcomerInbox newcomers;
    WatcherSet monitors(lists::WatchTargetsOf(engine.sources, ~0u),
                        [&engine, &newcomers] { newcomers.Hand(engine.manager.TakeOverNewcomers()); });
    monitors.Start();

    // The window, manual start (nothing is launched), on a thread of its own as the program's is on its own.
    RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kConfig, "Manual", RegistrySandbox::Dword(1));
    ui::RegisterMainWindowClass(GetModuleHandleW(nullptr));
    CConfigStore config;
    CPacewickDlg dialog(nullptr, CPacewickDlg::Engine{engine.manager, engine.model, engine.launcher, config}, nullptr);
    std::atomic<long> notices{0};
    dialog.SetNotifyIconFunction([&notices](DWORD message, NOTIFYICONDATAW* data) {
        if (message == NIM_MODIFY && (data->uFlags & NIF_INFO)) ++notices;
        return TRUE;
    });
    dialog.SetNewcomers(newcomers);
    std::thread windowThread([&dialog] { dialog.DoModal(); });
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowW(ui::kMainWindowClass, nullptr)) != nullptr && IsWindowVisible(window); });

    std::vector<double> latencies[2];  // notices off, on
    long noticesShown[2] = {0, 0};
    long noticesBefore = 0;  // at the round's start
    int failures = 0;
    const long cyclesBefore = monitors.ChangeCount();
    for (int i = 0; i < kWarmUp + kMeasured; ++i) {
        const int measured = i - kWarmUp;
        const bool on = measured < 0 || (measured / kRound) % 2 == 0;
        if (measured >= 0 && measured % kRound == 0) {
            AwaitRest(monitors, 200);
            if (measured > 0) noticesShown[!on] += notices.load() - noticesBefore;
            noticesBefore = notices.load();
            if (measured > 0) SendMessageW(window, WM_COMMAND, ID_TRAY_NOTIFY_NEWCOMERS, 0);  // the tray item
            RegDeleteKeyW(HKEY_CURRENT_USER, keys::kNotified);  // each name new: every "on" value is told of
        }
        AwaitRest(monitors, 30);
        const double ms = TimeOne(hives[i % 2], "Bench-" + std::to_string(i));
        if (i < kWarmUp) continue;
        if (ms < 0) ++failures;
        else latencies[on].push_back(ms);
    }
    const long cycles = monitors.ChangeCount() - cyclesBefore;

    AwaitRest(monitors, 500);
    noticesShown[(kMeasured - 1) / kRound % 2 == 0] += notices.load() - noticesBefore;
    const double cpuBefore = CpuMs();
    Sleep(kIdleMs);
    const double idleCpu = CpuMs() - cpuBefore;
    PostMessageW(window, WM_COMMAND, IDC_EXIT, 0);
    windowThread.join();
    monitors.Stop();
    DiagnosticsEnabled() = true;

    std::printf("monitor latency: %zu values (%d per hive in turn, %d earlier entries per BackUp key), %d not taken "
                "over within 5 s\n",
                latencies[0].size() + latencies[1].size(), kMeasured / 2, kEarlierEntriesPerHive, failures);
    for (const bool on : {true, false})
        std::printf("  notices %-3s (%zu values, %ld notices shown): median %.1f ms (target < 50), p99 %.1f ms "
                    "(target < 200), max %.1f ms\n",
                    on ? "on" : "off", latencies[on].size(), noticesShown[on], Percentile(latencies[on], 0.5),
                    Percentile(latencies[on], 0.99), Percentile(latencies[on], 1.0));
    std::printf("  take-overs per value: %.2f (the value's own, and the one its deletion wakes)\n",
                static_cast<double>(cycles) / (kWarmUp + kMeasured));
    std::printf("  idle CPU over %lu ms: %.1f ms (target 0)\n", static_cast<unsigned long>(kIdleMs), idleCpu);
    return failures == 0 ? 0 : 1;
}
