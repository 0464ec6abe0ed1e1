#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "../fixtures/RunKeyWriter.h"
#include "MonitorTestSupport.h"
#include "RegistrySandbox.h"
#include "monitor/RunKeyMonitor.h"
#include "registry/RegistryKeys.h"

using monitor_test::RunningMonitors;
using monitor_test::StdoutRedirect;
using monitor_test::WaitForRest;
using monitor_test::WaitUntil;

namespace {

constexpr int kOperationsPerWriter = 1000;
const HKEY kHives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

std::string TempFile(const char* prefix) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    char file[MAX_PATH] = {};
    GetTempFileNameA(folder, prefix, 0, file);
    return file;
}

std::string FixturePath(const char* file) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of("\\/") + 1) + file;
}

// What each (hive, name) must hold at rest, from the writers' logs.
struct Expected {
    std::map<std::pair<int, std::string>, RegValueBlob> last;   // the writer's final put, unless deleted after
    std::map<std::pair<int, std::string>, std::set<std::string>> written;  // every data ever put, with its type
    int operations = 0;

    static std::string Key(const RegValueBlob& value) {
        return std::to_string(value.type) + ":" + std::string(value.bytes.begin(), value.bytes.end());
    }

    void Replay(const std::string& logPath) {
        std::ifstream log(logPath);
        std::string line;
        while (std::getline(log, line)) {
            std::istringstream fields(line);
            std::string verb, name, data;
            int hive = 0;
            unsigned long type = 0;
            fields >> verb >> hive;
            if (verb == "put") {
                fields >> type >> name >> data;
                const RegValueBlob value = RegistrySandbox::Text(data, type);
                last[{hive, name}] = value;
                written[{hive, name}].insert(Key(value));
            } else {
                fields >> name;
                last.erase({hive, name});
            }
            ++operations;
        }
    }
};

class WriterProcess {
public:
    WriterProcess(const RegistrySandbox& sandbox, const std::string& log) {
        std::string command = "\"" + FixturePath("run_key_writer.exe") + "\" \"" +
                              sandbox.RealPath(HKEY_CURRENT_USER, keys::kRun) + "\" \"" +
                              sandbox.RealPath(HKEY_LOCAL_MACHINE, keys::kRun) + "\" 20240611 " +
                              std::to_string(kOperationsPerWriter) + " P \"" + log + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            process_.Reset(started.hProcess);
            CloseHandle(started.hThread);
        }
    }
    bool Started() const { return static_cast<bool>(process_); }
    DWORD Finish() {
        DWORD code = 999;
        if (WaitForSingleObject(process_.Get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    win::UniqueHandle process_;
};

DWORD WINAPI WriteFromThread(LPVOID logPath) {
    win::UniqueKey userRun, machineRun;
    RegOpenKeyExA(HKEY_CURRENT_USER, keys::kRun, 0, KEY_ALL_ACCESS, userRun.Put());
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, keys::kRun, 0, KEY_ALL_ACCESS, machineRun.Put());
    std::FILE* log = std::fopen(static_cast<const std::string*>(logPath)->c_str(), "w");
    if (!log) return 1;
    run_key_writer::Writer(userRun.Get(), machineRun.Get(), 77, "T").Run(kOperationsPerWriter, 2, log);
    std::fclose(log);
    return 0;
}

bool RunKeysHoldNoWrittenName(const Expected& expected) {
    for (const auto& entry : expected.last)
        if (RegistrySandbox::Get(kHives[entry.first.first], keys::kRun, entry.first.second.c_str())) return false;
    return true;
}

TEST(RunKeyMonitorStress, WritersInAThreadAndAProcessLoseAndAlterNothing) {
    RegistrySandbox sandbox;
    const std::string threadLog = TempFile("pwt");
    const std::string processLog = TempFile("pwp");
    Expected expected;
    {
        StdoutRedirect quiet("NUL");  // thousands of diagnostic lines otherwise
        RunningMonitors monitors;
        WriterProcess process(sandbox, processLog);
        ASSERT_TRUE(process.Started());
        win::UniqueHandle thread(CreateThread(nullptr, 0, WriteFromThread, const_cast<std::string*>(&threadLog), 0,
                                              nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 60000));
        ASSERT_EQ(0u, process.Finish());
        expected.Replay(threadLog);
        expected.Replay(processLog);
        EXPECT_TRUE(WaitUntil([&] { return RunKeysHoldNoWrittenName(expected); }, 30000));
        ASSERT_TRUE(WaitForRest(500, 30000));
    }
    DeleteFileA(threadLog.c_str());
    DeleteFileA(processLog.c_str());
    ASSERT_EQ(2 * kOperationsPerWriter, expected.operations);

    int lost = 0, altered = 0, leftInRun = 0, strays = 0;
    for (const auto& entry : expected.last) {
        const HKEY hive = kHives[entry.first.first];
        const char* name = entry.first.second.c_str();
        const auto kept = RegistrySandbox::Get(hive, keys::kBackUp, name);
        if (!kept) ++lost;
        else if (*kept != entry.second) ++altered;
        if (RegistrySandbox::Get(hive, keys::kRun, name)) ++leftInRun;
    }
    // Names whose last operation deleted them may stay backed up, but only with
    // data their writer put; and no name turns up where it was never written.
    for (int hive = 0; hive < 2; ++hive) {
        for (const char* path : {keys::kRun, keys::kBackUp}) {
            for (const std::string& name : RegistrySandbox::ValueNames(kHives[hive], path)) {
                const auto history = expected.written.find({hive, name});
                const auto value = RegistrySandbox::Get(kHives[hive], path, name.c_str());
                if (history == expected.written.end() || !value || !history->second.count(Expected::Key(*value)))
                    ++strays;
                if (path == keys::kRun && !expected.last.count({hive, name})) ++strays;
            }
        }
    }
    std::printf("Stress: %d operations (%d in a thread, %d in another process), %d values left by the writers "
                "checked, %zu names written in all, %d lost, %d altered, %d left in a Run key, %d strays, "
                "%ld take-overs\n",
                expected.operations, kOperationsPerWriter, kOperationsPerWriter,
                static_cast<int>(expected.last.size()), expected.written.size(), lost, altered, leftInRun, strays,
                RunKeyTakeOverCount());
    EXPECT_GT(expected.last.size(), 20u);
    EXPECT_EQ(0, lost);
    EXPECT_EQ(0, altered);
    EXPECT_EQ(0, leftInRun);
    EXPECT_EQ(0, strays);
}

}  // namespace
