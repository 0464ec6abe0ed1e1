// Times the installed Pacewick from outside, as another program on the same
// desktop sees it: how long a value that a program adds to the current user's
// Run key stays there before Pacewick takes it over (idle, and while "Run All"
// starts the list), and how long Pacewick takes to show its window and to end
// on Exit. Every time is taken here, inside Wine, with QueryPerformanceCounter.
//   installed_timer newcomers COUNT REST_MS [HELD]
//   installed_timer burst-exit EXE BURST RUNS
//   installed_timer run-all EXE PROGRAMS MIN_NEWCOMERS REST_MS LAUNCH_LOG
//   installed_timer start-exit EXE RUNS
//   installed_timer exit-during-launch EXE PROGRAMS DELAY_MS STARTED_BEFORE_EXIT ROUNDS IDLE_EXIT_MS LAUNCH_LOG
// Exit status 0 when every measurement was made and nothing was lost.
#include "../BenchClock.h"
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/MainWindowClass.h"

namespace {

constexpr double kGiveUpMs = 5000;  // a newcomer still there by then counts as not taken over
// What a newcomer names: a real program (the list reads its version
// information), started by nobody here; its argument marks its launch-log line
// apart from those of the listed programs.
constexpr const char* kNewcomerProgram = "\"C:\\bench\\record_launch.exe\" newcomer ";
constexpr const char* kListedMark = " listed ";  // in the command of each program of the list

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    // Nearest rank: the smallest sample with at least that fraction at or below it.
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    return samples[std::min(samples.size(), std::max<std::size_t>(rank, 1)) - 1];
}

double Median(const std::vector<double>& samples) {
    if (samples.empty()) return 0;
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// "median 3.1 ms (target < 20)  p90 4.0 ms  max 9.9 ms (target < 100)"; p99 needs
// at least 100 samples to be more than the maximum under another name.
void PrintSummary(const char* label, const std::vector<double>& samples, double medianTarget, double maxTarget) {
    const bool p99 = samples.size() >= 100;
    std::printf("%-34s n=%-3zu median %7.1f ms", label, samples.size(), Median(samples));
    if (medianTarget > 0) std::printf(" (target < %.0f: %s)", medianTarget, Median(samples) < medianTarget ? "met" : "MISSED");
    std::printf("  %s %7.1f ms  max %7.1f ms", p99 ? "p99" : "p90", Percentile(samples, p99 ? 0.99 : 0.90),
                samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end()));
    if (maxTarget > 0 && !samples.empty())
        std::printf(" (target < %.0f: %s)", maxTarget,
                    *std::max_element(samples.begin(), samples.end()) < maxTarget ? "met" : "MISSED");
    std::printf("\n");
}

struct UserKeys {
    HKEY run = nullptr;
    HKEY backUp = nullptr;
    UserKeys() {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keys::kRun, 0, KEY_ALL_ACCESS, &run) != ERROR_SUCCESS ||
            RegOpenKeyExW(HKEY_CURRENT_USER, keys::kBackUp, 0, KEY_READ, &backUp) != ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot open the current user's Run or BackUp key\n");
            std::exit(2);
        }
    }
    ~UserKeys() {
        RegCloseKey(run);
        RegCloseKey(backUp);
    }
    UserKeys(const UserKeys&) = delete;
    UserKeys& operator=(const UserKeys&) = delete;
};

bool HasValue(HKEY key, const char* name) {
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Writes one newcomer and polls every millisecond until it is gone from the Run
// key; the milliseconds it stayed, or -1 when it stayed too long. A value gone
// from the Run key but not in the BackUp key was lost, which no speed excuses.
struct Newcomer {
    double stayedMs = -1;
    bool lost = false;
};
Newcomer TimeNewcomer(const UserKeys& keys, int index) {
    const std::string name = "Bench newcomer " + std::to_string(index);
    const std::string command = kNewcomerProgram + std::to_string(index);
    Newcomer result;
    const double start = NowMs();
    RegSetValueExA(keys.run, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    while (HasValue(keys.run, name.c_str())) {
        if (NowMs() - start > kGiveUpMs) {
            RegDeleteValueA(keys.run, name.c_str());  // keeps the later newcomers' Run key as it was
            return result;
        }
        Sleep(1);
    }
    result.stayedMs = NowMs() - start;
    result.lost = !HasValue(keys.backUp, name.c_str());
    return result;
}

HWND MainWindow() { return FindWindowW(ui::kMainWindowClass, nullptr); }

// The same job done here with the bare registry calls, as the floor under a
// take-over: the newcomer written into a key nobody watches, read, copied into
// the BackUp key (which holds what Pacewick holds), both read again and
// compared, the original deleted; the copy then goes, so that the list stays.
double TimeBareCalls(HKEY scratch, int index) {
    const std::string name = "Bench floor " + std::to_string(index);
    const std::string command = kNewcomerProgram + std::to_string(index);
    HKEY backUp = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, keys::kBackUp, 0, KEY_ALL_ACCESS, &backUp);
    char value[512], copy[512];
    DWORD type = 0, size = sizeof value, copySize = sizeof copy;
    const double start = NowMs();
    RegSetValueExA(scratch, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegQueryValueExA(scratch, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegSetValueExA(backUp, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value), size);
    RegQueryValueExA(scratch, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegQueryValueExA(backUp, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(copy), &copySize);
    if (size == copySize && std::memcmp(value, copy, size) == 0) RegDeleteValueA(scratch, name.c_str());
    const double took = NowMs() - start;
    RegDeleteValueA(backUp, name.c_str());
    RegCloseKey(backUp);
    return took;
}

// Newcomers one at a time, each beside a turn of the bare calls (alternating
// which goes first), so that both see the same load of the machine.
int Newcomers(int count, DWORD restMs, int held) {
    UserKeys keys;
    HKEY scratch = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Pacewick bench floor", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch,
                    nullptr);
    std::vector<double> stayed, bare;
    std::string slowOnes;  // which newcomers waited 10 ms or more, and how long: at the start, or throughout?
    // Names no earlier run of this prefix wrote: a name held already is read in full.
    const int first = static_cast<int>(GetTickCount() % 1000000) * 1000;
    int slow = 0, lost = 0;
    Sleep(restMs);
    for (int index = 0; index < count; ++index) {
        if (index % 2) bare.push_back(TimeBareCalls(scratch, index));
        const Newcomer one = TimeNewcomer(keys, first + index);
        if (index % 2 == 0) bare.push_back(TimeBareCalls(scratch, index));
        if (one.stayedMs < 0) ++slow; else stayed.push_back(one.stayedMs);
        if (one.stayedMs >= 10) slowOnes += " #" + std::to_string(index + 1) + ":" + std::to_string(int(one.stayedMs));
        if (one.lost) ++lost;
        Sleep(restMs);
    }
    RegCloseKey(scratch);
    std::printf("idle: %d newcomers in HKCU Run, one at a time, %lu ms of rest after each, %d entries held\n", count,
                static_cast<unsigned long>(restMs), held);
    char label[64];
    std::snprintf(label, sizeof label, "newcomer, %d held:", held);
    PrintSummary(label, stayed, 10, 50);
    std::snprintf(label, sizeof label, "  bare registry calls, %d held:", held);
    PrintSummary(label, bare, 0, 0);
    std::printf("plot: held=%d pacewick=%.2f p99=%.2f max=%.2f bare=%.2f\n", held, Median(stayed),
                Percentile(stayed, 0.99), stayed.empty() ? 0.0 : *std::max_element(stayed.begin(), stayed.end()),
                Median(bare));
    if (!slowOnes.empty()) std::printf("  waits of 10 ms or more (newcomer:ms):%s\n", slowOnes.c_str());
    if (slow || lost) std::printf("idle: %d still there after %.0f ms, %d lost (not in BackUp)\n", slow, kGiveUpMs, lost);
    return slow || lost ? 1 : 0;
}

std::string LogText(const char* logPath) {
    HANDLE file = CreateFileA(logPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

int CountListedLaunches(const char* logPath) {
    const std::string text = LogText(logPath);
    int count = 0;
    for (std::size_t at = text.find(kListedMark); at != std::string::npos; at = text.find(kListedMark, at + 1)) ++count;
    return count;
}

HANDLE NulHandle() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, 0, nullptr);
}

// Starts the program as Windows would at log-on (no console: its diagnostic
// lines go nowhere); its process and thread handles are closed by the caller.
bool StartProgram(const char* exe, HANDLE nul, PROCESS_INFORMATION* process) {
    std::string commandLine = std::string("\"") + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, process))
        return true;
    std::fprintf(stderr, "cannot start %s (%lu)\n", exe, GetLastError());
    return false;
}

// The started process's main window once it is visible, or nullptr when the
// process ends first or takes longer than a minute.
HWND WaitForVisibleWindow(const PROCESS_INFORMATION& process) {
    for (const double start = NowMs(); NowMs() - start < 60000;) {
        HWND window = MainWindow();
        DWORD owner = 0;
        if (window) GetWindowThreadProcessId(window, &owner);
        if (window && owner == process.dwProcessId && IsWindowVisible(window)) return window;
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

bool WaitForNoMainWindow() {
    for (const double wait = NowMs(); MainWindow(); Sleep(10))
        if (NowMs() - wait > 10000) return false;
    return true;
}

// Presses Exit; true once the process has ended.
bool PressExit(HWND window, HANDLE process) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
    return WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
}

void ClearValues(HKEY hive, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[16384];
    for (DWORD length = sizeof name; RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                                     ERROR_SUCCESS;
         length = sizeof name)
        if (RegDeleteValueA(key, name) != ERROR_SUCCESS) break;
    RegCloseKey(key);
}

// Empty BackUp keys and the given number of programs in the Run keys, half in
// each (the machine Run key keeps Pacewick's own value): the list that the next
// start shows holds these programs and nothing else.
void PrepareList(int programs) {
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        ClearValues(hive, keys::kBackUp);
        HKEY run = nullptr;
        RegOpenKeyExW(hive, keys::kRun, 0, KEY_ALL_ACCESS, &run);
        const bool user = hive == HKEY_CURRENT_USER;
        const int first = user ? 0 : programs / 2, last = user ? programs / 2 : programs;
        for (int index = first; index < last; ++index) {
            const std::string name = (user ? "user program " : "machine program ") + std::to_string(index);
            const std::string command =
                std::string("\"C:\\bench\\record_launch.exe\"") + kListedMark + std::to_string(index);
            RegSetValueExA(run, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
        }
        RegCloseKey(run);
    }
}

int ListedCount(HWND window) {
    return static_cast<int>(SendMessageA(GetDlgItem(window, IDC_ENTRY_LIST), LVM_GETITEMCOUNT, 0, 0));
}

// Rounds of: the list filled with the given number of programs, Pacewick
// started, Run All pressed, and newcomers written one after the other until
// the launches are over (the window has hidden itself, which it does once it
// has started every program, and every started program has written its line),
// then Exit. Rounds are added until at least minCount newcomers were timed
// during the launches: each round's launches last a couple of seconds only.
int RunAll(const char* exe, int programs, int minCount, DWORD restMs, const char* logPath) {
    constexpr int kMaxRounds = 8;
    UserKeys keys;
    HANDLE nul = NulHandle();
    std::vector<double> during, after, hiddenAt, allRanAt;
    int slow = 0, lost = 0, rounds = 0, failures = 0;
    for (int newcomer = 1000; rounds < kMaxRounds && during.size() < static_cast<std::size_t>(minCount); ++rounds) {
        if (!WaitForNoMainWindow()) {
            std::fprintf(stderr, "an earlier Pacewick window is still there\n");
            return 2;
        }
        PrepareList(programs);
        DeleteFileA(logPath);
        PROCESS_INFORMATION process = {};
        if (!StartProgram(exe, nul, &process)) return 2;
        HWND window = WaitForVisibleWindow(process);
        Sleep(1500);  // the list filled, the splash gone
        const int listed = window ? ListedCount(window) : -1;
        if (listed != programs) {
            std::printf("run-all round %d: the list holds %d entries, not %d\n", rounds + 1, listed, programs);
            TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            return 1;
        }
        double hiddenMs = -1, allRanMs = -1;
        const double start = NowMs();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_RUN_ALL, BN_CLICKED), 0);
        while (hiddenMs < 0 || allRanMs < 0) {
            const Newcomer one = TimeNewcomer(keys, newcomer++);
            if (one.stayedMs < 0) ++slow; else during.push_back(one.stayedMs);
            if (one.lost) ++lost;
            if (hiddenMs < 0 && !IsWindowVisible(window)) hiddenMs = NowMs() - start;
            if (allRanMs < 0 && CountListedLaunches(logPath) >= programs) allRanMs = NowMs() - start;
            if (NowMs() - start > 120000) break;
            Sleep(restMs);
        }
        // One newcomer after the launches, for comparison in the same round.
        Sleep(300);
        const Newcomer calm = TimeNewcomer(keys, newcomer++);
        if (calm.stayedMs >= 0) after.push_back(calm.stayedMs);
        Sleep(2000);  // a program started twice would have written its second line by now
        const int ran = CountListedLaunches(logPath);
        std::printf("run-all round %d: %d listed; window hidden (every program started) after %.0f ms, every "
                    "program had run after %.0f ms; %d ran in all\n",
                    rounds + 1, programs, hiddenMs, allRanMs, ran);
        std::fflush(stdout);
        if (ran != programs || hiddenMs < 0 || allRanMs < 0) ++failures;
        hiddenAt.push_back(hiddenMs);
        allRanAt.push_back(allRanMs);
        const bool ended = PressExit(window, process.hProcess);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (!ended) {
            std::fprintf(stderr, "still running 30 s after Exit\n");
            return 1;
        }
    }
    CloseHandle(nul);
    std::printf("run-all: %d rounds of %d programs: newcomers in HKCU Run one after the other from the press of Run "
                "All until the launches were over, %lu ms of rest after each\n",
                rounds, programs, static_cast<unsigned long>(restMs));
    PrintSummary("take-over during Run All:", during, 0, 150);
    PrintSummary("  (one per round after, not counted)", after, 0, 0);
    if (slow || lost) std::printf("run-all: %d still there after %.0f ms, %d lost (not in BackUp)\n", slow, kGiveUpMs, lost);
    if (failures) std::printf("run-all: %d rounds did not start every program exactly once\n", failures);
    return slow || lost || failures || during.size() < static_cast<std::size_t>(minCount) ? 1 : 0;
}

// Times the start until the main window is visible, lets the program come to
// rest, then times Exit until the window is gone and until the process has ended.
int StartExit(const char* exe, int runs) {
    std::vector<double> shown, closed, gone;
    HANDLE nul = NulHandle();
    for (int run = 1; run <= runs; ++run) {
        if (!WaitForNoMainWindow()) {
            std::fprintf(stderr, "an earlier Pacewick window is still there\n");
            return 2;
        }
        PROCESS_INFORMATION process = {};
        const double start = NowMs();
        if (!StartProgram(exe, nul, &process)) return 2;
        HWND window = WaitForVisibleWindow(process);
        const double shownMs = NowMs() - start;
        if (!window) {
            std::fprintf(stderr, "start %d: no visible window (the program ended or took over 60 s)\n", run);
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        Sleep(1500);  // the list filled, the splash gone: Exit then times the ending alone
        const double exitStart = NowMs();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
        while (IsWindow(window) && NowMs() - exitStart < 30000) Sleep(1);
        const double closedMs = NowMs() - exitStart;
        const DWORD ended = WaitForSingleObject(process.hProcess, 30000);
        const double goneMs = NowMs() - exitStart;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (ended != WAIT_OBJECT_0) {
            std::fprintf(stderr, "start %d: still running 30 s after Exit\n", run);
            return 1;
        }
        shown.push_back(shownMs);
        closed.push_back(closedMs);
        gone.push_back(goneMs);
        std::printf("start %d: window shown after %7.1f ms; Exit: window gone after %6.1f ms, process gone after "
                    "%6.1f ms\n",
                    run, shownMs, closedMs, goneMs);
        std::fflush(stdout);
    }
    CloseHandle(nul);
    std::printf("start to window shown: median %.1f ms; Exit to window gone: median %.1f ms; Exit to process gone: "
                "median %.1f ms (%d runs)\n",
                Median(shown), Median(closed), Median(gone), runs);
    return 0;
}

// Starts the program, writes a burst of newcomers into HKCU Run as fast as it
// can, presses Exit at once and times it until the process has ended; then
// each newcomer must be in exactly one of the Run and BackUp keys, and those
// left in the Run key are cleared for the next run.
int BurstExit(const char* exe, int burst, int runs) {
    UserKeys keys;
    HANDLE nul = NulHandle();
    std::vector<double> gone;
    int misplaced = 0, left = 0;
    for (int run = 1; run <= runs; ++run) {
        PROCESS_INFORMATION process = {};
        if (!WaitForNoMainWindow() || !StartProgram(exe, nul, &process)) return 2;
        HWND window = WaitForVisibleWindow(process);
        if (!window) {
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        Sleep(1500);
        const int first = static_cast<int>(GetTickCount() % 1000000) * 1000;
        for (int index = 0; index < burst; ++index) {
            const std::string name = "Bench burst " + std::to_string(first + index);
            const std::string command = kNewcomerProgram + std::to_string(index);
            RegSetValueExA(keys.run, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
        }
        const double exitStart = NowMs();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
        const DWORD ended = WaitForSingleObject(process.hProcess, 30000);
        gone.push_back(NowMs() - exitStart);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (ended != WAIT_OBJECT_0) return std::fprintf(stderr, "still running 30 s after Exit\n"), 1;
        int inRun = 0;
        for (int index = 0; index < burst; ++index) {
            const std::string name = "Bench burst " + std::to_string(first + index);
            const bool run = HasValue(keys.run, name.c_str()), held = HasValue(keys.backUp, name.c_str());
            if (run == held) ++misplaced;
            if (run) ++inRun, RegDeleteValueA(keys.run, name.c_str());
        }
        left += inRun;
        std::printf("burst %d: %d newcomers, Exit to process gone %.0f ms, %d left in the Run key\n", run, burst,
                    gone.back(), inRun);
        std::fflush(stdout);
    }
    CloseHandle(nul);
    // Wine keeps a process with a tray icon about 2 s after its window is gone.
    PrintSummary("Exit after a burst of newcomers:", gone, 0, 3000);
    std::printf("burst-exit: %d newcomers left in the Run key in all, %d in neither or both keys\n", left, misplaced);
    return misplaced ? 1 : 0;
}

// How often each listed program (by its number) has written its line.
std::map<int, int> ListedStarts(const char* logPath) {
    const std::string text = LogText(logPath);
    std::map<int, int> starts;
    for (std::size_t at = text.find(kListedMark); at != std::string::npos; at = text.find(kListedMark, at + 1))
        ++starts[std::atoi(text.c_str() + at + std::strlen(kListedMark))];
    return starts;
}

// The values of both BackUp keys named as PrepareList names the programs.
int HeldPrograms() {
    int held = 0;
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(hive, keys::kBackUp, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char name[256];
        for (DWORD index = 0, length = sizeof name;
             RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS;
             ++index, length = sizeof name)
            held += std::strstr(name, "program ") != nullptr;
        RegCloseKey(key);
    }
    return held;
}

void SetCountdown(DWORD manual, DWORD delayMs) {
    for (const auto& [name, number] : {std::pair<const wchar_t*, DWORD>{L"Manual", manual}, {L"TimeDelay", delayMs}})
        RegSetKeyValueW(HKEY_CURRENT_USER, keys::kConfig, name, REG_DWORD, &number, sizeof number);
}

// Rounds of: the given number of programs listed, Pacewick started with a short
// countdown, and Exit pressed once the countdown's starts are under way (that
// many programs have run); timed until the process is gone. Every program
// started must have started once, and every one must still be held (launching
// deletes nothing; what was not started starts at the next log-on).
// The goal is 1 s beyond what an Exit of the idle program takes (Wine's tray
// wait, which varies with Explorer's state, is in both).
int ExitDuringLaunch(const char* exe, int programs, DWORD delayMs, int startedBeforeExit, int rounds,
                     double idleExitMs, const char* logPath) {
    const double goalMs = 1000 + idleExitMs;
    HANDLE nul = NulHandle();
    std::vector<double> gone;
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        if (!WaitForNoMainWindow()) return 2;
        PrepareList(programs);
        SetCountdown(0, delayMs);
        DeleteFileA(logPath);
        PROCESS_INFORMATION process = {};
        if (!StartProgram(exe, nul, &process)) return 2;
        HWND window = WaitForVisibleWindow(process);
        const int listed = window ? ListedCount(window) : -1;
        for (const double start = NowMs(); CountListedLaunches(logPath) < startedBeforeExit && NowMs() - start < 60000;)
            Sleep(1);
        const double exitStart = NowMs();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
        const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        const double goneMs = NowMs() - exitStart;
        if (!ended) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        Sleep(2000);  // a program started twice, or after the end, would have written its line by now
        const std::map<int, int> starts = ListedStarts(logPath);
        const bool once = std::all_of(starts.begin(), starts.end(), [](const auto& one) { return one.second == 1; });
        const int held = HeldPrograms();
        std::printf("exit-during-launch round %d: %d listed; Exit pressed once %d had run; process gone after %.0f ms; "
                    "%zu started, %s; %d of %d still held\n",
                    round, listed, startedBeforeExit, goneMs, starts.size(), once ? "each once" : "SOME TWICE", held,
                    programs);
        std::fflush(stdout);
        if (!ended || !once || held != programs || listed != programs) ++failures;
        if (ended) gone.push_back(goneMs);
    }
    CloseHandle(nul);
    SetCountdown(1, delayMs);
    std::printf("exit-during-launch: goal 1000 ms beyond an idle Exit's %.0f ms\n", idleExitMs);
    char label[64];
    std::snprintf(label, sizeof label, "Exit during the starts of %d:", programs);
    PrintSummary(label, gone, 0, goalMs);
    if (failures) std::printf("exit-during-launch: %d rounds failed (see above)\n", failures);
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    int status = 64;
    if (command == "newcomers" && (argc == 4 || argc == 5)) {
        status = Newcomers(std::atoi(argv[2]), static_cast<DWORD>(std::atoi(argv[3])), argc == 5 ? std::atoi(argv[4]) : 20);
    } else if (command == "burst-exit" && argc == 5) {
        status = BurstExit(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    } else if (command == "run-all" && argc == 7) {
        status = RunAll(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), static_cast<DWORD>(std::atoi(argv[5])), argv[6]);
    } else if (command == "exit-during-launch" && argc == 9) {
        status = ExitDuringLaunch(argv[2], std::atoi(argv[3]), static_cast<DWORD>(std::atoi(argv[4])), std::atoi(argv[5]),
                                  std::atoi(argv[6]), std::atof(argv[7]), argv[8]);
    } else if (command == "start-exit" && argc == 4) {
        status = StartExit(argv[2], std::atoi(argv[3]));
    } else {
        std::fprintf(stderr, "usage: installed_timer newcomers COUNT REST_MS | run-all EXE PROGRAMS MIN_NEWCOMERS "
                             "REST_MS LAUNCH_LOG | start-exit EXE RUNS | exit-during-launch EXE PROGRAMS DELAY_MS "
                             "STARTED_BEFORE_EXIT ROUNDS IDLE_EXIT_MS LAUNCH_LOG | burst-exit EXE BURST RUNS\n");
    }
    std::fflush(stdout);
    return status;
}
