#pragma once
// Helpers shared by the engine's tests.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "takeover/StartupManager.h"
#include "registry/RegistryKeys.h"

namespace enginetest {

using Names = std::vector<std::string>;
using Snapshot = std::map<std::string, RegValueBlob>;  // a key's values by name

inline Snapshot Take(HKEY hive, const RegistrySandbox::KeyText& path) {
    Snapshot snapshot;
    for (const std::string& name : RegistrySandbox::ValueNames(hive, path))
        snapshot[name] = RegistrySandbox::Get(hive, path, name.c_str()).value_or(RegValueBlob());
    return snapshot;
}

inline const std::string& NameOf(const Snapshot::value_type& value) { return value.first; }
inline std::string NameOf(const StartupEntry& entry) { return U8(entry.name); }
// The names of a key's values (sorted) or of a list's entries (in list order).
template <typename Items>
Names NamesOf(const Items& items) {
    Names names;
    for (const auto& item : items) names.emplace_back(NameOf(item));
    return names;
}

inline Names Sorted(Names names) { return std::sort(names.begin(), names.end()), names; }

inline StartupEntry Entry(const std::string& name, const std::string& command) {
    StartupEntry entry;
    entry.name = W(name);
    entry.command = W(command);
    entry.company = L"Unknown";
    entry.origin = Origin::CurrentUser;
    entry.lists = ListBit(0);  // the user's Run key
    return entry;
}

// A path in the temporary folder, unique to this test run.
inline std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = {};
    return std::string(temp, GetTempPathA(MAX_PATH, temp)) + "pacewick-" + std::to_string(GetTickCount()) + "-" + name;
}

}  // namespace enginetest
