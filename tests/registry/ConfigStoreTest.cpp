#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "RegistrySandbox.h"
#include "registry/ConfigStore.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;
using Settings = std::tuple<int, DWORD, int>;  // Manual, TimeDelay, Restored

// The store is a process singleton: every step starts it from known values.
CConfigStore* Store(Settings settings) {
    CConfigStore* store = CConfigStore::GetInstance();
    store->SetManual(std::get<0>(settings));
    store->SetTimeDelay(std::get<1>(settings));
    store->SetRestored(std::get<2>(settings));
    return store;
}

Settings Held() {
    const CConfigStore* store = CConfigStore::GetInstance();
    return Settings{store->GetManual(), store->GetTimeDelay(), store->GetRestored()};
}

std::string WriteAndCapture() {
    testing::internal::CaptureStdout();
    CConfigStore::GetInstance()->WriteSettings();
    return testing::internal::GetCapturedStdout();
}

RegValueBlob Stored(const char* name) { return S::Get(HKEY_CURRENT_USER, keys::kConfig, name).value_or(S::Text("")); }
RegValueBlob Dword(const char* bytes) { return RegValueBlob(REG_DWORD, bytes, 4); }

TEST(ConfigStore, ReadTakesFourByteValuesAndKeepsWhatIsMissingOrMisshapen) {
    S sandbox;
    // Each step: the Config key's values, the settings held before, the status and the settings after.
    using Step = std::tuple<std::vector<std::pair<const char*, RegValueBlob>>, Settings, DWORD, Settings>;
    const Step steps[] = {
        // No "Manual": nothing is taken, not even the values that are there.
        {{{"TimeDelay", S::Dword(60000)}}, {0, 0, 0}, ERROR_FILE_NOT_FOUND, {0, 0, 0}},
        {{{"Manual", S::Dword(1)}}, {0, 240000, 1}, 0, {1, 240000, 1}},
        {{{"Manual", S::Dword(0)}, {"TimeDelay", S::Dword(180000)}, {"Restored", S::Dword(0)}}, {1, 5, 1}, 0,
         {0, 180000, 0}},
        // A text longer than four bytes and a value shorter than four are not
        // read; four bytes of another type are the number.
        {{{"TimeDelay", S::Text("1234")},
          {"Restored", RegValueBlob(REG_BINARY, "\x01\x00", 2)},
          {"Manual", RegValueBlob(REG_BINARY, "\x01\x00\x00\x00", 4)}},
         {0, 300000, 7}, 0, {1, 300000, 7}},
    };
    for (const auto& [config, before, status, after] : steps) {
        S::Remove(HKEY_CURRENT_USER, keys::kConfig);
        S::Create(HKEY_CURRENT_USER, keys::kConfig);
        for (const auto& [name, value] : config) S::Put(HKEY_CURRENT_USER, keys::kConfig, name, value);
        EXPECT_EQ(status, Store(before)->ReadSettings());
        EXPECT_EQ(after, Held());
    }
}

TEST(ConfigStore, WritesLittleEndianDwordsReportingEachAndOnlyIntoAnExistingKey) {
    S sandbox;
    const std::string threeSuccesses =
        "Reg entry put SUCCESSFULLY!!\nReg entry put SUCCESSFULLY!!\nReg entry put SUCCESSFULLY!!\n";
    // "3 min"; "Restored" is rewritten with what memory holds.
    Store({0, 180000, 1});
    EXPECT_EQ(threeSuccesses, WriteAndCapture());
    EXPECT_EQ(Dword("\0\0\0\0"), Stored("Manual"));
    EXPECT_EQ(Dword("\x20\xBF\x02\0"), Stored("TimeDelay"));
    EXPECT_EQ(Dword("\x01\0\0\0"), Stored("Restored"));

    // "Apply" at 30 minutes, read back after memory was changed.
    Store({0, 30 * 60000, 0});
    EXPECT_EQ(threeSuccesses, WriteAndCapture());
    EXPECT_EQ(Dword("\x40\x77\x1B\0"), Stored("TimeDelay"));
    EXPECT_EQ(0u, Store({1, 1, 1})->ReadSettings());
    EXPECT_EQ(Settings(0, 1800000, 0), Held());

    // Without the Config key nothing is read, written, printed or created.
    S::Remove(HKEY_CURRENT_USER, keys::kConfig);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Store({1, 120000, 1})->ReadSettings());
    EXPECT_EQ(Settings(1, 120000, 1), Held());
    EXPECT_EQ("", WriteAndCapture());
    EXPECT_FALSE(S::Exists(HKEY_CURRENT_USER, keys::kConfig));
}

}  // namespace
