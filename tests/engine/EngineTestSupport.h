#pragma once
// Helpers shared by the engine's tests: registry snapshots, the fixture folder,
// a manager whose logon-task source lists nothing, and captured output.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"

namespace enginetest {

// Every value of a key, by name, with its type and bytes.
using Snapshot = std::map<std::string, RegValueBlob>;

inline Snapshot Take(HKEY hive, const char* path) {
    Snapshot snapshot;
    for (const std::string& name : RegistrySandbox::ValueNames(hive, path))
        snapshot[name] = RegistrySandbox::Get(hive, path, name.c_str()).value_or(RegValueBlob());
    return snapshot;
}

inline std::vector<std::string> NamesOf(const Snapshot& snapshot) {
    std::vector<std::string> names;
    for (const auto& value : snapshot) names.push_back(value.first);
    return names;
}

// The folder of the test executable, where the fixtures are built.
inline std::string FixtureDir() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

// A fresh folder under the temporary folder, emptied and removed at the end.
class TempDir {
public:
    TempDir() {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "pacewick-engine-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDir() {
        for (const std::string& file : files_) DeleteFileA(file.c_str());
        RemoveDirectoryA(path_.c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) {
        files_.push_back(path_ + "\\" + name);
        return files_.back();
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> files_;
};

// The manager, its list emptied, with a Task Scheduler that offers no tasks, so
// that the list holds exactly what the BackUp keys give.
inline CStartupManager& Manager() {
    CStartupManager* manager = CStartupManager::GetInstance();
    manager->SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
    manager->List().Clear();
    return *manager;
}

inline std::vector<std::string> Names(const EntryList& list) {
    std::vector<std::string> names;
    for (const StartupEntry& entry : list) names.emplace_back(entry.name);
    return names;
}

inline const StartupEntry* Find(const EntryList& list, const std::string& name) {
    for (const StartupEntry& entry : list)
        if (name == entry.name) return &entry;
    return nullptr;
}

// The lines printed by one call.
template <typename Action>
std::string OutputOf(Action action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

inline int CountOf(const std::string& text, const std::string& line) {
    int count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size())) ++count;
    return count;
}

}  // namespace enginetest
