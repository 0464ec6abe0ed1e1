// How long a machine entry stays in its Run key: through the keeper service's
// take-over (pacewick-keeper.exe -console, a process of its own, as the
// service runs) beside the program's own Run-key monitors (in this process),
// measured in turns in one run on the machine keys of this prefix. Each turn:
// entries written one at a time while idle, then 500 written in a burst; the
// time from each write to its exact copy in the BackUp key.
#include "BenchClock.h"
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "monitor/ChangeWatcher.h"
#include "keeperlink/KeeperClient.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace {

constexpr int kRounds = 3;
constexpr int kIdlePerRound = 30;
constexpr int kWarmUp = 4;  // first writes of a turn, not counted: a process just started or a monitor just armed
constexpr int kBurst = 500;
const wchar_t* const kRuns[] = {keys::kRun, keys::kRun32};
const wchar_t* const kBackUps[] = {keys::kBackUp, keys::kBackUp32};

double Now() { return NowMs(); }

win::UniqueKey Open(const wchar_t* path) {
    win::UniqueKey key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key.Put(),
                    nullptr);
    return key;
}

std::string CommandOf(const std::string& name) { return "C:\\bench\\" + name + ".exe /quiet"; }

bool Write(HKEY key, const std::string& name) {
    const std::string data = CommandOf(name);
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool Kept(HKEY backUp, const std::string& name) {
    char data[512];
    DWORD size = sizeof data, type = 0;
    return RegQueryValueExA(backUp, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
               ERROR_SUCCESS &&
           type == REG_SZ && CommandOf(name) == data;
}

void Clean() {
    for (int view = 0; view < 2; ++view)
        for (const wchar_t* path : {kRuns[view], kBackUps[view]}) {
            const win::UniqueKey key = Open(path);
            std::vector<std::string> names;
            char name[256];
            for (DWORD i = 0;; ++i) {
                DWORD size = sizeof name;
                if (RegEnumValueA(key.Get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
                if (std::string(name).rfind("bench ", 0) == 0) names.push_back(name);
            }
            for (const std::string& n : names) RegDeleteValueA(key.Get(), n.c_str());
        }
}

struct Figures {
    std::vector<double> idle, busy;
};

// One entry at a time, each after the previous one arrived and things came to rest.
void MeasureIdle(std::vector<double>& times, int round, const char* who) {
    const win::UniqueKey runs[] = {Open(kRuns[0]), Open(kRuns[1])};
    const win::UniqueKey backUps[] = {Open(kBackUps[0]), Open(kBackUps[1])};
    for (int i = 0; i < kWarmUp + kIdlePerRound; ++i) {
        const int view = i % 2;
        const std::string name = std::string("bench ") + who + " idle " + std::to_string(round) + "-" + std::to_string(i);
        const double start = Now();
        Write(runs[view].Get(), name);
        while (!Kept(backUps[view].Get(), name) && Now() - start < 10000) {
        }
        if (i >= kWarmUp) times.push_back(Now() - start);
        Sleep(30);
    }
}

// 500 entries written in a burst (both views in turn, 2 ms apart) while a
// reader notes when each arrives.
void MeasureBurst(std::vector<double>& times, int round, const char* who) {
    const win::UniqueKey runs[] = {Open(kRuns[0]), Open(kRuns[1])};
    std::vector<double> written(kBurst, 0), arrived(kBurst, 0);
    std::vector<std::string> names;
    for (int i = 0; i < kBurst; ++i)
        names.push_back(std::string("bench ") + who + " busy " + std::to_string(round) + "-" + std::to_string(i));
    std::atomic<int> count{0};
    std::thread reader([&] {
        const win::UniqueKey backUps[] = {Open(kBackUps[0]), Open(kBackUps[1])};
        int left = kBurst;
        const double deadline = Now() + 120000;
        while (left > 0 && Now() < deadline) {
            const int upTo = count.load();
            for (int i = 0; i < upTo; ++i)
                if (arrived[i] == 0 && Kept(backUps[i % 2].Get(), names[i])) {
                    arrived[i] = Now();
                    --left;
                }
        }
    });
    for (int i = 0; i < kBurst; ++i) {
        written[i] = Now();
        Write(runs[i % 2].Get(), names[i]);
        ++count;
        Sleep(2);
    }
    reader.join();
    for (int i = 0; i < kBurst; ++i) times.push_back(arrived[i] > 0 ? arrived[i] - written[i] : 120000);
}

std::wstring KeeperPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L'\\') + 1) + L"pacewick-keeper.exe";
}

// The keeper in a process of its own, stopped by closing its standard input.
struct KeeperProcess {
    win::UniqueHandle input, process;
    bool Start() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE read = nullptr, write = nullptr;
        if (!CreatePipe(&read, &write, &inherit, 0)) return false;
        const win::UniqueHandle childEnd(read);
        input.Reset(write);
        SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = read;
        startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring command = L"\"" + KeeperPath() + L"\" -console";
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
            return false;
        CloseHandle(info.hThread);
        process.Reset(info.hProcess);
        // Not a service: the pipe is answered by this child.
        const DWORD server = info.dwProcessId;
        for (int i = 0; i < 200; ++i) {
            if (keeper::Call(keeper::Request{}, keeper::kPipeName, [server] { return server; }).status ==
                keeper::Status::Ok)
                return true;
            Sleep(50);
        }
        return false;
    }
    void Stop() {
        input.Reset();
        WaitForSingleObject(process.Get(), 30000);
    }
};

double Percentile(std::vector<double> times, double p) {
    std::sort(times.begin(), times.end());
    const std::size_t at = std::min(times.size() - 1, static_cast<std::size_t>(p * static_cast<double>(times.size())));
    return times[at];
}

void Print(const char* who, const char* when, const std::vector<double>& times) {
    std::printf("%-26s %-22s n=%4zu  median %8.2f ms  p99 %8.2f ms  max %8.2f ms\n", who, when, times.size(),
                Percentile(times, 0.5), Percentile(times, 0.99), Percentile(times, 1.0));
}

}  // namespace

int main() {
    DiagnosticsEnabled() = false;
    TestEngine engine;
    WatcherSet monitors(lists::WatchTargetsOf(engine.sources, ~0u), [&engine] { engine.manager.TakeOver(); });
    for (int view = 0; view < 2; ++view) {
        Open(kRuns[view]);
        Open(kBackUps[view]);
    }
    Clean();
    Figures keeperFigures, programFigures;
    for (int round = 0; round < kRounds; ++round) {
        // The keeper's turn: the program's monitors are not running.
        KeeperProcess keeper;
        if (!keeper.Start()) {
            std::printf("the keeper did not start\n");
            return 1;
        }
        MeasureIdle(keeperFigures.idle, round, "keeper");
        MeasureBurst(keeperFigures.busy, round, "keeper");
        keeper.Stop();
        Clean();
        // The program's turn: its own monitors, every row its own.
        monitors.Start();
        MeasureIdle(programFigures.idle, round, "program");
        MeasureBurst(programFigures.busy, round, "program");
        monitors.Stop();
        Clean();
    }
    std::printf("Time from a machine entry written to its exact copy in its BackUp key (%d rounds, in turns):\n",
                kRounds);
    Print("keeper service", "idle", keeperFigures.idle);
    Print("program's own monitors", "idle", programFigures.idle);
    Print("keeper service", "during 500 writes", keeperFigures.busy);
    Print("program's own monitors", "during 500 writes", programFigures.busy);
    std::printf("ratio keeper/program: idle median %.2f, p99 %.2f; during writes median %.2f, p99 %.2f\n",
                Percentile(keeperFigures.idle, 0.5) / Percentile(programFigures.idle, 0.5),
                Percentile(keeperFigures.idle, 0.99) / Percentile(programFigures.idle, 0.99),
                Percentile(keeperFigures.busy, 0.5) / Percentile(programFigures.busy, 0.5),
                Percentile(keeperFigures.busy, 0.99) / Percentile(programFigures.busy, 0.99));
    return 0;
}
