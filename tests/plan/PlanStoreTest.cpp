// The plan store against values anyone may have written into the Plan key, and the schedule a plan makes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "RegistrySandbox.h"
#include "plan/PlanStore.h"
#include "plan/StartPlan.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"

namespace {

using plan::StartLevel;
using Values = std::map<std::wstring, RegValueBlob>;

const std::wstring kPlan = keys::kPlan;
const std::wstring kSubkeys[] = {kPlan + L"\\Run", kPlan + L"\\Startup", kPlan + L"\\Common Startup"};

Values ValuesOf(HKEY hive, const std::wstring& path) {
    Values values;
    registry::Key key;
    std::vector<std::wstring> names;
    if (key.Open(hive, path, KEY_READ) != ERROR_SUCCESS || key.ValueNames(&names) != ERROR_SUCCESS) return values;
    for (const std::wstring& name : names) key.ReadValue(name, &values[name]);
    return values;
}

// Every Run and BackUp key of both hives, whole.
std::vector<Values> StartupKeys() {
    std::vector<Values> keys;
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const wchar_t* path : {keys::kRun, keys::kBackUp, keys::kRun32, keys::kBackUp32})
            keys.push_back(ValuesOf(hive, path));
    return keys;
}

StartupEntry Entry(const std::wstring& name, Origin origin) {
    StartupEntry entry;
    entry.name = name;
    entry.origin = origin;
    entry.lists = 1;
    if (origin == Origin::UserFolder || origin == Origin::AllUsersFolder) entry.item = L"C:\\BackUp\\" + name;
    return entry;
}

// Where the store keeps an entry's choice: the subkey's index and the value's name; -1 for a logon task.
std::pair<int, std::wstring> PlaceOf(const StartupEntry& entry) {
    switch (entry.origin) {
    case Origin::TaskScheduler: return {-1, L""};
    case Origin::UserFolder: return {1, IdentityOf(entry).name};
    case Origin::AllUsersFolder: return {2, IdentityOf(entry).name};
    default: return {0, entry.name};
    }
}

// What a stored value reads as: a REG_DWORD of four bytes naming a level, else AsSet.
StartLevel LevelOfValue(const RegValueBlob& value) {
    if (value.type != REG_DWORD || value.count() != 4) return StartLevel::AsSet;
    DWORD number = 0;
    memcpy(&number, value.data(), 4);
    return number <= plan::kHighestLevel ? static_cast<StartLevel>(number) : StartLevel::AsSet;
}

TEST(PlanStore, HostileValuesReadAsAsSetOrNothingAndTouchNoStartupKey) {
    RegistrySandbox sandbox;
    // Run and BackUp keys with values of the entries' names, which the store must never touch.
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const char* path : {"Software\\Microsoft\\Windows\\CurrentVersion\\Run", "software\\Quorvell Software\\Pacewick\\BackUp"}) {
            RegistrySandbox::PutText(hive, path, "Tool", "C:\\Tools\\tool.exe");
            RegistrySandbox::PutText(hive, path, "Shared", "C:\\Tools\\shared.exe");
            RegistrySandbox::Put(hive, path, "Number", RegistrySandbox::Dword(3));
        }
    const std::vector<Values> before = StartupKeys();

    const std::wstring longName(120, L'\u00E9');  // 240 bytes of UTF-8: as long as an entry's name may be
    EntryList entries;
    for (const auto& [name, origin] : std::vector<std::pair<std::wstring, Origin>>{
             {L"Tool", Origin::CurrentUser}, {L"Number", Origin::AllUsers}, {L"Shared", Origin::Both},
             {longName, Origin::CurrentUser}, {L"M\u00E9t\u00E9o \u5929\u6C17", Origin::AllUsers},
             {L"Tool", Origin::UserFolder}, {L"notes.lnk", Origin::UserFolder}, {L"Tool", Origin::AllUsersFolder},
             {L"Shared", Origin::TaskScheduler}})
        entries.InsertFront(Entry(name, origin));
    std::vector<std::wstring> names;
    for (const StartupEntry& entry : entries) names.push_back(PlaceOf(entry).second);

    // 1,000 seeded values of every type and size, under the entries' names and names no entry has.
    std::mt19937 random(20261208);
    std::vector<Values> written(3);
    const plan::PlanStore store;
    for (int round = 1; round <= 1000; ++round) {
        const int subkey = static_cast<int>(random() % 3);
        std::wstring name;
        switch (random() % 4) {
        case 0: name = L"other" + std::to_wstring(random() % 50); break;
        case 1: name = std::wstring(1 + random() % 16000, L'x'); break;
        default: name = names[random() % names.size()];
        }
        static const DWORD kTypes[] = {REG_DWORD, REG_DWORD, REG_BINARY, REG_SZ, REG_QWORD, REG_NONE,
                                       REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD_BIG_ENDIAN};
        RegValueBlob value;
        value.type = kTypes[random() % (sizeof kTypes / sizeof kTypes[0])];
        value.bytes.resize(random() % 3 == 0 ? 4 : random() % 13);
        const bool small = random() % 2 == 0;  // a level or any number
        for (BYTE& byte : value.bytes) byte = static_cast<BYTE>(random());
        if (small && value.bytes.size() == 4) value.bytes = {static_cast<BYTE>(random() % 7), 0, 0, 0};
        registry::Key key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kSubkeys[subkey], KEY_SET_VALUE));
        ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(name, value));
        written[subkey][name] = value;

        if (round % 100 != 0) continue;
        const std::vector<std::optional<StartLevel>> levels = store.ReadAll(entries);
        ASSERT_EQ(entries.Count(), levels.size());
        for (std::size_t index = 0; index < entries.Count(); ++index) {
            const auto [at, valueName] = PlaceOf(entries[index]);
            std::optional<StartLevel> expected;
            if (at >= 0 && written[at].count(valueName)) expected = LevelOfValue(written[at][valueName]);
            EXPECT_EQ(expected, levels[index]) << "round " << round << ", entry " << index;
        }
    }

    // Each level round-trips; a logon task keeps none.
    for (const StartupEntry& entry : entries) {
        const bool kept = PlaceOf(entry).first >= 0;
        for (DWORD number = 0; number <= plan::kHighestLevel; ++number) {
            EXPECT_EQ(kept, store.Write(entry, static_cast<StartLevel>(number)));
            EXPECT_EQ(kept ? std::optional<StartLevel>(static_cast<StartLevel>(number)) : std::nullopt, store.Read(entry));
        }
    }

    // Drop removes that entry's value and nothing else.
    for (const StartupEntry& entry : entries) {
        const auto [at, valueName] = PlaceOf(entry);
        std::vector<Values> expected;
        for (const std::wstring& subkey : kSubkeys) expected.push_back(ValuesOf(HKEY_CURRENT_USER, subkey));
        if (at >= 0) expected[at].erase(valueName);
        EXPECT_TRUE(store.Drop(entry));
        EXPECT_EQ(std::nullopt, store.Read(entry));
        for (int subkey = 0; subkey < 3; ++subkey)
            EXPECT_TRUE(expected[subkey] == ValuesOf(HKEY_CURRENT_USER, kSubkeys[subkey])) << "subkey " << subkey;
    }
    EXPECT_TRUE(store.Drop(entries[0]));  // nothing left to drop

    EXPECT_TRUE(before == StartupKeys());
}

TEST(StartPlan, EachLevelTakesItsRouteUnderEachSettingInTheListsOrder) {
    EntryList entries;
    for (const wchar_t* name : {L"G", L"F", L"E", L"D", L"C", L"B", L"A"}) entries.InsertFront(Entry(name, Origin::CurrentUser));
    // G has no level given: it counts as AsSet.
    const std::vector<StartLevel> levels = {StartLevel::AfterDelay, StartLevel::AsSet, StartLevel::OnlyByHand,
                                            StartLevel::AtLogOn,    StartLevel::WhenReady, StartLevel::AsSet};
    const auto namesOf = [](const EntryList& part) {
        std::wstring names;
        for (const StartupEntry& entry : part) names += entry.name;
        return names;
    };
    struct Case {
        plan::Settings settings;
        const wchar_t* atStart;
        const wchar_t* whenReady;
        const wchar_t* atCountdownEnd;
        const wchar_t* byHand;
    };
    const Case cases[] = {
        {{true, false}, L"D", L"", L"", L"ABCEFG"},  // Manual: only AtLogOn starts by itself
        {{true, true}, L"D", L"", L"", L"ABCEFG"},   // Manual wins over ready-start
        {{false, false}, L"D", L"E", L"ABFG", L"C"},  // the delay
        {{false, true}, L"D", L"BEFG", L"A", L"C"},   // ready-start
    };
    for (const Case& one : cases) {
        const plan::Schedule schedule = plan::ScheduleOf(entries, levels, one.settings);
        EXPECT_EQ(one.atStart, namesOf(schedule.atStart));
        EXPECT_EQ(one.whenReady, namesOf(schedule.whenReady));
        EXPECT_EQ(one.atCountdownEnd, namesOf(schedule.atCountdownEnd));
        EXPECT_EQ(one.byHand, namesOf(schedule.byHand));
    }
}

}  // namespace
