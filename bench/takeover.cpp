// Times the take-over of N values per Run key against the bare registry calls
// the same job needs, and the version lookups the list makes per entry.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "win/Diagnostics.h"
#include "engine/StartupManager.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "sources/FileVersionInfo.h"
#include "win/Scoped.h"

namespace {

const HKEY kHives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
constexpr int kRepeats = 7;

double Now() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
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

void FillRunKeys(int count) {
    for (HKEY hive : kHives) {
        win::UniqueKey run;
        RegOpenKeyExA(hive, keys::kRun, 0, KEY_ALL_ACCESS, run.Put());
        for (int index = 0; index < count; ++index) {
            const std::string name =
                (hive == HKEY_CURRENT_USER ? "user program " : "machine program ") + std::to_string(index);
            const std::string command = "\"C:\\Program Files\\Vendor " + std::to_string(index) + "\\app.exe\" /min";
            const RegValueBlob value(REG_SZ, command.c_str(), static_cast<DWORD>(command.size() + 1));
            RegistryAccess().WriteValue(run.Get(), name.c_str(), &value);
        }
    }
}

std::vector<std::string> EnumerateNames(HKEY key) {
    std::vector<std::string> names;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    std::vector<char> name(16383);
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = 16383;
        if (RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace_back(name.data(), length);
    }
    return names;
}

// The least the take-over must do per value: enumerate, read and write it (back
// up), enumerate and read the copy (list), read both and compare, delete; and,
// if asked, the version lookup the list makes for the copy's program.
void Floor(bool withVersionLookups) {
    const RegistryAccess access;
    CFileVersionInfo reader;
    for (HKEY hive : kHives) {
        win::UniqueKey run;
        win::UniqueKey backUp;
        RegOpenKeyExA(hive, keys::kRun, 0, KEY_ALL_ACCESS, run.Put());
        RegOpenKeyExA(hive, keys::kBackUp, 0, KEY_ALL_ACCESS, backUp.Put());
        for (const std::string& name : EnumerateNames(run.Get())) {
            RegValueBlob value;
            access.ReadWholeValue(run.Get(), name.c_str(), &value);
            access.WriteValue(backUp.Get(), name.c_str(), &value);
        }
        std::vector<std::string> listed = EnumerateNames(backUp.Get());
        for (const std::string& name : listed) {
            RegValueBlob value;
            access.ReadValue(backUp.Get(), name.c_str(), &value);
            if (withVersionLookups)
                reader.ReadVersionInfo(
                    CStartupManager::ProgramPathFromCommand(
                        std::string(value.bytes.begin(), value.bytes.end() - (value.bytes.empty() ? 0 : 1)))
                        .c_str());
        }
        for (const std::string& name : listed) {
            RegValueBlob value;
            RegValueBlob copy;
            access.ReadWholeValue(run.Get(), name.c_str(), &value);
            access.ReadWholeValue(backUp.Get(), name.c_str(), &copy);
            if (value == copy) access.DeleteValue(run.Get(), name.c_str());
        }
    }
}

// The best of several runs of each job, each run on freshly filled keys and the
// jobs taking turns, so that a busy machine slows them alike; in seconds.
std::vector<double> Time(int count, const std::vector<std::function<void()>>& jobs) {
    std::vector<double> best(jobs.size(), 1e9);
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        for (std::size_t job = 0; job < jobs.size(); ++job) {
            RegistrySandbox sandbox;
            FillRunKeys(count);
            SilencedOutput silence;
            const double start = Now();
            jobs[job]();
            best[job] = std::min(best[job], Now() - start);
        }
    }
    return best;
}

double TimeVersionLookups(const std::string& command, int count) {
    CFileVersionInfo reader;
    const double start = Now();
    for (int index = 0; index < count; ++index)
        reader.ReadVersionInfo(CStartupManager::ProgramPathFromCommand(command).c_str());
    return (Now() - start) / count;
}

std::string FixtureCopy() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder = folder.substr(0, folder.find_last_of('\\'));
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string copy = std::string(temp) + "pacewick-bench-tool.exe";
    CopyFileA((folder + "\\ver_en_us.dll").c_str(), copy.c_str(), FALSE);
    return copy;
}

}  // namespace

int main() {
    CStartupManager* manager = CStartupManager::GetInstance();
    // The Task Scheduler is asked once per take-over, not per value: left out here.
    manager->SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });

    std::printf("take-over of N values in each Run key (both hives), best of %d, diagnostic lines off while timed\n",
                kRepeats);
    std::printf("floor: the bare registry calls; floor+ver: the same and one version lookup per listed value\n");
    std::printf("%6s %12s %12s %12s %8s %12s\n", "N", "us/value", "floor", "floor+ver", "ratio", "ratio(+ver)");
    for (int count : {10, 100, 1000}) {
        const double values = 2.0 * count;
        const std::vector<double> times =
            Time(count, {[&] { manager->TakeOver(); }, [] { Floor(false); }, [] { Floor(true); }});
        std::printf("%6d %12.1f %12.1f %12.1f %8.2f %12.2f\n", count, 1e6 * times[0] / values, 1e6 * times[1] / values,
                    1e6 * times[2] / values, times[0] / times[1], times[0] / times[2]);
    }

    const double fixed = Time(0, {[&] { manager->TakeOver(); }})[0];
    std::printf("take-over of empty Run and BackUp keys (the cost per take-over, not per value): %.1f us\n",
                1e6 * fixed);

    const std::string fixture = FixtureCopy();
    const int lookups = 500;
    std::printf("version lookup per entry: command naming no file %.1f us, naming a real file %.1f us\n",
                1e6 * TimeVersionLookups("\"C:\\Program Files\\Vendor\\app.exe\" /min", lookups),
                1e6 * TimeVersionLookups("\"" + fixture + "\" /min", lookups));
    // The list rebuilt again, as every monitor wake-up does, over programs that
    // are real files, each its own: their companies are read once, then known.
    {
        RegistrySandbox sandbox;
        win::UniqueKey backUp;
        RegOpenKeyExA(HKEY_CURRENT_USER, keys::kBackUp, 0, KEY_ALL_ACCESS, backUp.Put());
        const int entries = 50;
        std::vector<std::string> programs;
        for (int index = 0; index < entries; ++index) {
            programs.push_back(fixture.substr(0, fixture.size() - 4) + "-" + std::to_string(index) + ".exe");
            CopyFileA(fixture.c_str(), programs.back().c_str(), FALSE);
            const std::string command = "\"" + programs.back() + "\" /min";
            const RegValueBlob value(REG_SZ, command.c_str(), static_cast<DWORD>(command.size() + 1));
            RegistryAccess().WriteValue(backUp.Get(), ("real " + std::to_string(index)).c_str(), &value);
        }
        double times[2];
        {
            SilencedOutput silence;
            for (double& time : times) {
                const double start = Now();
                manager->RebuildList();
                time = Now() - start;
            }
        }
        std::printf("rebuild of %d entries naming real files: first %.1f us/entry, again %.1f us/entry\n", entries,
                    1e6 * times[0] / entries, 1e6 * times[1] / entries);
        for (const std::string& program : programs) DeleteFileA(program.c_str());
    }
    DeleteFileA(fixture.c_str());
    return 0;
}
