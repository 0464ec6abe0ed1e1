// What a take-over costs per value, against its floor: the bare registry calls
// that the same job cannot do without (read each Run value, write it into the
// BackUp key, delete it from the Run key). Both run in the same rounds, on keys
// filled alike, taking turns at going first, and the figures are medians over
// many rounds, so that a machine busy with other work slows both alike and two
// runs give the same answer. When the floor itself grows with the number of
// values, its calls are timed apart to show which one grows, and why.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "RegistrySandbox.h"
#include "takeover/OwnedEngine.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace {

const HKEY kHives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
constexpr DWORD kNameRoom = 16384;
constexpr DWORD kDataRoom = 4096;  // every command written here is far shorter
constexpr double kTarget = 1.3;

// Every round measures every N, so that a stretch of heavy load elsewhere on the
// machine weighs on all sizes alike and the growth with N stays visible. Small
// sizes take a few milliseconds and are noisy: a round repeats them. Rounds go
// on until the time budget is spent (the program ends within about two minutes
// on a busy 2-core machine), within bounds.
struct Size {
    int values;
    int repeatsPerRound;
};
const Size kSizes[] = {{10, 16}, {100, 4}, {1000, 1}, {5000, 1}};
constexpr int kMinRounds = 8;
constexpr int kMaxRounds = 60;
constexpr double kBudgetSeconds = 80;

double Now() {
    static const double ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerSecond;
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// The diagnostic lines would dominate the timings (a flushed line costs tens of
// microseconds under Wine, even into NUL): they are off while the work is timed.
class SilencedOutput {
public:
    SilencedOutput() { DiagnosticsEnabled() = false; }
    ~SilencedOutput() { DiagnosticsEnabled() = true; }
    SilencedOutput(const SilencedOutput&) = delete;
    SilencedOutput& operator=(const SilencedOutput&) = delete;
};

win::UniqueKey Open(HKEY hive, const wchar_t* path) {
    win::UniqueKey key;
    if (RegOpenKeyExW(hive, path, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open %ls\n", path);
        std::exit(2);
    }
    return key;
}

std::string ValueName(HKEY hive, int index) {
    return (hive == HKEY_CURRENT_USER ? "user program " : "machine program ") + std::to_string(index);
}

// Programs as installers write them: a quoted path with an argument, each its own.
void FillRunKeys(int count) {
    for (HKEY hive : kHives) {
        win::UniqueKey run = Open(hive, keys::kRun);
        for (int index = 0; index < count; ++index) {
            const std::string command = "\"C:\\Program Files\\Vendor " + std::to_string(index) + "\\app.exe\" /min";
            RegSetValueExA(run.Get(), ValueName(hive, index).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(command.c_str()), static_cast<DWORD>(command.size() + 1));
        }
    }
}

int ValueCount(HKEY key) {
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    return static_cast<int>(count);
}

// The floor's calls, by kind, in seconds: they add up to the floor's time.
struct FloorCalls {
    double open = 0, enumerate = 0, read = 0, write = 0, remove = 0, check = 0;
    double Total() const { return open + enumerate + read + write + remove + check; }
};
// Each kind with the name its table column and the diagnosis give it.
struct CallKind {
    const char* call;
    double FloorCalls::*seconds;
};
const CallKind kCallKinds[] = {{"RegOpenKeyEx", &FloorCalls::open},       {"RegEnumValue", &FloorCalls::enumerate},
                               {"RegQueryValueEx", &FloorCalls::read},    {"RegSetValueEx", &FloorCalls::write},
                               {"RegDeleteValue", &FloorCalls::remove},   {"list+check", &FloorCalls::check}};
// The floor's registry calls per value: RegEnumValue, RegQueryValueEx and
// RegSetValueEx; the list's RegEnumValue and RegQueryValueEx; the check's two
// RegQueryValueEx; RegDeleteValue.
constexpr int kFloorCallsPerValue = 8;

// The floor: per hive, the Run and BackUp keys opened, the Run key's names by index, then each value read and
// written into the BackUp key, the BackUp key listed (its names and values read,
// as the list needs), then each Run value deleted in the order listed, once it
// and its copy have been read and found identical: the same job, with the same
// rule that nothing is deleted without an identical copy, and nothing else.
FloorCalls Floor() {
    FloorCalls calls;
    std::vector<char> name(kNameRoom);
    std::vector<BYTE> data(kDataRoom);
    for (HKEY hive : kHives) {
        double start = Now();
        win::UniqueKey run = Open(hive, keys::kRun);
        win::UniqueKey backUp = Open(hive, keys::kBackUp);
        calls.open += Now() - start;
        std::vector<std::string> names;
        start = Now();
        for (DWORD index = 0;; ++index) {
            DWORD length = kNameRoom;
            if (RegEnumValueA(run.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name.data(), length);
        }
        calls.enumerate += Now() - start;
        for (const std::string& value : names) {
            DWORD type = 0;
            DWORD size = kDataRoom;
            start = Now();
            RegQueryValueExA(run.Get(), value.c_str(), nullptr, &type, data.data(), &size);
            const double read = Now();
            RegSetValueExA(backUp.Get(), value.c_str(), 0, type, data.data(), size);
            calls.read += read - start;
            calls.write += Now() - read;
        }
        start = Now();
        std::vector<BYTE> copy(kDataRoom);
        for (DWORD index = 0;; ++index) {  // the list: every BackUp value, read
            DWORD length = kNameRoom, size = kDataRoom;
            if (RegEnumValueA(backUp.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            RegQueryValueExA(backUp.Get(), name.data(), nullptr, nullptr, copy.data(), &size);
        }
        calls.check += Now() - start;
        for (const std::string& value : names) {
            DWORD size = kDataRoom, copySize = kDataRoom;
            start = Now();
            RegQueryValueExA(run.Get(), value.c_str(), nullptr, nullptr, data.data(), &size);
            RegQueryValueExA(backUp.Get(), value.c_str(), nullptr, nullptr, copy.data(), &copySize);
            const bool identical = size == copySize && std::equal(data.begin(), data.begin() + size, copy.begin());
            const double checked = Now();
            if (identical) RegDeleteValueA(run.Get(), value.c_str());
            calls.check += checked - start;
            calls.remove += Now() - checked;
        }
        if (ValueCount(run.Get()) != 0) {
            std::fprintf(stderr, "the floor left values in a Run key\n");
            std::exit(2);
        }
    }
    return calls;
}

// An engine as the program builds it, without the Task Scheduler (asked once
// per take-over, not per value, its cost the scheduler's) and without the
// company reader: the program reads companies on a thread of their own, beside
// the take-over, which here, on one CPU, would take the CPU in the middle of
// the take-over it follows. Like the program, the bench builds one engine and
// keeps it: a reader's thread starts with its first take-over, not with each.
struct BenchEngine : takeover::OwnedEngine {
    explicit BenchEngine(takeover::CompanyReading companies = takeover::CompanyReading::Skipped)
        : takeover::OwnedEngine(takeover::kEveryScope, takeover::kEveryScope, companies) {
        model.SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
    }
};

double TakeOver(BenchEngine& engine) {
    const double start = Now();
    engine.manager.TakeOver();
    const double elapsed = Now() - start;
    // A take-over that leaves values behind did less than its floor: its time would mean nothing.
    for (HKEY hive : kHives) {
        if (ValueCount(Open(hive, keys::kRun).Get()) != 0) {
            std::fprintf(stderr, "the take-over left values in a Run key\n");
            std::exit(2);
        }
    }
    return elapsed;
}

struct Samples {
    std::vector<double> engine, floor, ratios;
    std::vector<FloorCalls> calls;
};

FloorCalls MedianCalls(const std::vector<FloorCalls>& taken) {
    FloorCalls medians;
    for (const CallKind& kind : kCallKinds) {
        std::vector<double> seconds;
        for (const FloorCalls& calls : taken) seconds.push_back(calls.*kind.seconds);
        medians.*kind.seconds = Median(seconds);
    }
    return medians;
}

struct SizeResult {
    int values = 0;
    int pairs = 0;      // engine and floor timed side by side this many times
    double engine = 0;  // median seconds per take-over of 2 * values
    double floor = 0;
    double ratio = 0;  // median of the pairs' own ratios
    FloorCalls calls;  // medians, by kind
};

// One pair: the engine and the floor on keys filled alike, in the given order.
void MeasurePair(BenchEngine& engine, int values, bool engineFirst, Samples* samples) {
    double engineTime = 0;
    FloorCalls floorCalls;
    for (int turn = 0; turn < 2; ++turn) {
        RegistrySandbox sandbox;
        FillRunKeys(values);
        SilencedOutput silence;
        if ((turn == 0) == engineFirst) {
            engineTime = TakeOver(engine);
        } else {
            floorCalls = Floor();
        }
    }
    samples->engine.push_back(engineTime);
    samples->floor.push_back(floorCalls.Total());
    samples->ratios.push_back(engineTime / floorCalls.Total());
    samples->calls.push_back(floorCalls);
}

std::vector<SizeResult> MeasureAll(BenchEngine& engine, int* rounds) {
    constexpr std::size_t kCount = sizeof kSizes / sizeof kSizes[0];
    std::vector<Samples> samples(kCount);
    const double started = Now();
    int round = 0;
    for (; round < kMaxRounds && (round < kMinRounds || Now() - started < kBudgetSeconds); ++round) {
        // The sizes take turns at going first, the engine and the floor too.
        for (std::size_t step = 0; step < kCount; ++step) {
            const std::size_t size = (step + static_cast<std::size_t>(round)) % kCount;
            for (int repeat = 0; repeat < kSizes[size].repeatsPerRound; ++repeat)
                MeasurePair(engine, kSizes[size].values, (round + repeat) % 2 == 0, &samples[size]);
        }
    }
    *rounds = round;
    std::vector<SizeResult> results;
    for (std::size_t size = 0; size < kCount; ++size) {
        const Samples& taken = samples[size];
        SizeResult result;
        result.values = kSizes[size].values;
        result.pairs = static_cast<int>(taken.engine.size());
        result.engine = Median(taken.engine);
        result.floor = Median(taken.floor);
        result.ratio = Median(taken.ratios);
        result.calls = MedianCalls(taken.calls);
        results.push_back(result);
    }
    return results;
}

// Deleting every value of one key, first listed first or last listed first, at
// a small and a large N, all four taking turns within each round; microseconds
// per value, medians.
struct DeleteCosts {
    double frontSmall = 0, backSmall = 0, frontLarge = 0, backLarge = 0;
};
DeleteCosts DeleteOrders(int small, int large, int rounds) {
    std::vector<double> samples[4];  // front small, back small, front large, back large
    for (int round = 0; round < rounds; ++round) {
        for (int step = 0; step < 4; ++step) {
            const int which = (step + round) % 4;
            const int count = which < 2 ? small : large;
            const bool front = which % 2 == 0;
            std::vector<std::string> names;
            for (int index = 0; index < count; ++index) names.push_back(ValueName(HKEY_CURRENT_USER, index));
            std::sort(names.begin(), names.end());  // the registry's own order of these names
            if (!front) std::reverse(names.begin(), names.end());
            for (int repeat = 0; repeat < (which < 2 ? 16 : 1); ++repeat) {
                RegistrySandbox sandbox;
                FillRunKeys(count);
                win::UniqueKey run = Open(HKEY_CURRENT_USER, keys::kRun);
                const double start = Now();
                for (const std::string& name : names) RegDeleteValueA(run.Get(), name.c_str());
                samples[which].push_back(1e6 * (Now() - start) / count);
            }
        }
    }
    return {Median(samples[0]), Median(samples[1]), Median(samples[2]), Median(samples[3])};
}

double PerValue(double seconds, int values) { return 1e6 * seconds / (2.0 * values); }

// Which of the floor's calls grows from the smallest N to the largest, whether
// the order of the deletions makes them grow, and whether the engine grows
// where its floor does not.
void Diagnose(const std::vector<SizeResult>& results) {
    const SizeResult& small = results.front();
    const SizeResult& large = results.back();
    const double growth = PerValue(large.floor, large.values) / PerValue(small.floor, small.values);
    const CallKind* most = &kCallKinds[0];
    double mostAdded = -1e9;
    for (const CallKind& kind : kCallKinds) {
        const double added =
            PerValue(large.calls.*kind.seconds, large.values) - PerValue(small.calls.*kind.seconds, small.values);
        if (added > mostAdded) {
            mostAdded = added;
            most = &kind;
        }
    }
    const double addedInAll = PerValue(large.floor, large.values) - PerValue(small.floor, small.values);
    std::printf("diagnosis: the floor's cost per value %s x%.2f from N=%d to N=%d; the call that grows most is %s "
                "(%+.1f us of the floor's %+.1f us)\n",
                growth < 1.1 ? "stays flat," : "grows", growth, small.values, large.values, most->call, mostAdded,
                addedInAll);

    // Four times the largest N: the cost of the deletion's order, if any, shows
    // well above the noise of the calls' own cost.
    const int many = 4 * large.values;
    const DeleteCosts deletes = DeleteOrders(small.values, many, 6);
    std::printf("diagnosis: RegDeleteValue of every value of one key, first listed first / last listed first: "
                "%.1f / %.1f us/value at N=%d, %.1f / %.1f at N=%d\n",
                deletes.frontLarge, deletes.backLarge, many, deletes.frontSmall, deletes.backSmall, small.values);
    if (deletes.frontLarge > 1.2 * deletes.backLarge && deletes.frontLarge > 1.15 * deletes.frontSmall)
        std::printf("diagnosis: deleting from the front is what grows: Wine's server keeps a key's values in one "
                    "array sorted by name and, after each deletion, moves every value behind the deleted one down "
                    "a place, so deleting the first of N values costs O(N), the last O(1); lookups by name "
                    "(binary search) and by index stay cheap\n");

    // From the next-largest N up: at the smallest, the cost per take-over (not
    // per value) dominates the engine's figure.
    const SizeResult& middle = results[results.size() - 2];
    const double engineGrowth = PerValue(large.engine, large.values) / PerValue(middle.engine, middle.values);
    const double floorGrowth = PerValue(large.floor, large.values) / PerValue(middle.floor, middle.values);
    if (engineGrowth > 1.15 && engineGrowth > 1.1 * floorGrowth)
        std::printf("diagnosis: from N=%d to N=%d the engine's cost per value grows x%.2f, its floor's x%.2f: "
                    "the engine's own work per value grows with the number of values\n",
                    middle.values, large.values, engineGrowth, floorGrowth);
}

// What a take-over costs whatever it moves (the five places and their BackUp
// places opened and listed, the account's lock), in the floor's registry calls:
// at the smallest N it is what the ratio measures.
void DiagnoseFixedCost(BenchEngine& engine, const SizeResult& small) {
    std::vector<double> empty, first;
    for (int round = 0; round < 21; ++round) {
        RegistrySandbox sandbox;
        SilencedOutput silence;
        empty.push_back(TakeOver(engine));
        BenchEngine fresh;  // a process's first take-over also starts the logon tasks' reader
        first.push_back(TakeOver(fresh));
    }
    const double perCall = small.floor / (2.0 * small.values * kFloorCallsPerValue);
    const double room = (kTarget - 1) * small.floor / perCall;
    std::printf("diagnosis: a take-over of empty places costs %.0f us, as much as %.0f of the floor's registry calls "
                "(%.1f us each); %.1fx the floor at N=%d leaves room for %.0f\n",
                1e6 * Median(empty), Median(empty) / perCall, 1e6 * perCall, kTarget, small.values, room);
    std::printf("diagnosis: a new engine's first take-over of empty places, its tasks' reader started: %.0f us\n",
                1e6 * Median(first));
}

// The list rebuilt again, as the user's commands do, over programs that are
// real files, each its own, until their companies are in it: they are read
// the first time only.
void RebuildOverRealPrograms() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder = folder.substr(0, folder.find_last_of('\\'));
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    RegistrySandbox sandbox;
    win::UniqueKey backUp = Open(HKEY_CURRENT_USER, keys::kBackUp);
    const int entries = 50;
    std::vector<std::string> programs;
    for (int index = 0; index < entries; ++index) {
        programs.push_back(std::string(temp) + "pacewick-bench-program-" + std::to_string(index) + ".exe");
        if (!CopyFileA((folder + "\\ver_en_us.dll").c_str(), programs.back().c_str(), FALSE)) {
            std::printf("list rebuild over real programs: left out, no ver_en_us.dll beside this program\n");
            return;
        }
        const std::string command = "\"" + programs.back() + "\" /min";
        RegSetValueExA(backUp.Get(), ("real " + std::to_string(index)).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(command.c_str()), static_cast<DWORD>(command.size() + 1));
    }
    double times[2];
    {
        SilencedOutput silence;
        BenchEngine engine(takeover::CompanyReading::Read);
        for (double& time : times) {
            const double start = Now();
            engine.manager.RebuildList();
            engine.model.WaitForCompanies(60000);  // read on the list's own thread
            time = Now() - start;
        }
    }
    std::printf("list rebuild of %d entries naming real programs: first %.1f us/entry, again %.1f us/entry\n",
                entries, 1e6 * times[0] / entries, 1e6 * times[1] / entries);
    for (const std::string& program : programs) DeleteFileA(program.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // One take-over of empty places between two marks that Wine's server trace
    // shows (WINEDEBUG=+server), for bench/server_requests.awk to count.
    if (argc > 1 && std::string(argv[1]) == "--one-empty-take-over") {
        RegistrySandbox sandbox;
        SilencedOutput silence;
        BenchEngine engine;
        engine.manager.TakeOver();  // the first makes what the next find
        OpenEventA(SYNCHRONIZE, FALSE, "pacewick-bench-take-over-begins");
        engine.manager.TakeOver();
        OpenEventA(SYNCHRONIZE, FALSE, "pacewick-bench-take-over-ends");
        return 0;
    }
    std::printf("take-over of N values in each Run key (both hives, 2N values), engine and floor in the same "
                "rounds, taking turns\n");
    std::printf("engine: takeover::CStartupManager::TakeOver, one engine kept (as the program keeps one), no Task Scheduler, "
                "companies not read (the program reads them beside, on a thread of their own), diagnostic lines off "
                "while timed\n");
    std::printf("floor: RegOpenKeyEx of each Run and BackUp key, RegEnumValue for the names, RegQueryValueEx + "
                "RegSetValueEx into BackUp, the BackUp key "
                "listed (RegEnumValue + RegQueryValueEx), and RegDeleteValue from Run after reading the value and "
                "its copy (the identical-copy check)\n");
    std::printf("figures: medians; ratio: median of each side-by-side pair's engine/floor\n");
    DWORD_PTR mine = 0, system = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &mine, &system);
    int cpus = 0;
    for (DWORD_PTR mask = mine; mask; mask &= mask - 1) ++cpus;
    // Spread over two CPUs, each call's round trip to the Wine server costs what
    // the host's scheduling makes it: make bench runs this on one.
    std::printf("CPUs this process may use: %d%s\n", cpus, cpus == 1 ? "" : " (figures swing more than on one)");
    int rounds = 0;
    BenchEngine engine;
    const std::vector<SizeResult> results = MeasureAll(engine, &rounds);
    std::printf("%d rounds, each timing every N (small N several times)\n", rounds);
    std::printf("%6s %7s %16s %15s %7s %12s\n", "N", "pairs", "engine us/value", "floor us/value", "ratio",
                "under 1.3?");
    for (const SizeResult& r : results)
        std::printf("%6d %7d %16.1f %15.1f %7.2f %12s\n", r.values, r.pairs, PerValue(r.engine, r.values),
                    PerValue(r.floor, r.values), r.ratio, r.ratio < kTarget ? "yes" : "NO");
    std::printf("floor by call, us/value: %6s", "N");
    for (const CallKind& kind : kCallKinds) std::printf(" %15s", kind.call);
    std::printf("\n");
    for (const SizeResult& r : results) {
        std::printf("                         %6d", r.values);
        for (const CallKind& kind : kCallKinds) std::printf(" %15.1f", PerValue(r.calls.*kind.seconds, r.values));
        std::printf("\n");
    }
    Diagnose(results);
    DiagnoseFixedCost(engine, results.front());
    RebuildOverRealPrograms();
    return 0;
}
