#include <gtest/gtest.h>

#include <optional>
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

// Every step starts from settings unlike the defaults, so that a setting left
// as it was shows.
TEST(ConfigStore, ReadTakesFourByteValuesAndDefaultsWhatIsMissingOrMisshapen) {
    S sandbox;
    const Settings before{1, 5, 1};
    const Settings defaults{0, 180000, 0};
    // Each step: the Config key's values (none: no key at all), the status and the settings read.
    using Values = std::vector<std::pair<const char*, RegValueBlob>>;
    using Step = std::tuple<std::optional<Values>, DWORD, Settings>;
    const Step steps[] = {
        {std::nullopt, ERROR_FILE_NOT_FOUND, defaults},
        {Values{}, ERROR_FILE_NOT_FOUND, defaults},
        // No "Manual": it is the default, the others are read.
        {{{{"TimeDelay", S::Dword(60000)}, {"Restored", S::Dword(1)}}}, ERROR_FILE_NOT_FOUND, {0, 60000, 1}},
        {{{{"Manual", S::Dword(1)}}}, 0, {1, 180000, 0}},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", S::Dword(60000)}, {"Restored", S::Dword(1)}}}, 0, {0, 60000, 1}},
        // A text longer than four bytes and values shorter than four are not
        // read; four bytes of another type are the number, even a delay of 0.
        {{{{"TimeDelay", S::Text("1234")},
           {"Restored", RegValueBlob(REG_BINARY, "\x01\x00", 2)},
           {"Manual", RegValueBlob(REG_BINARY, "\x01\x00\x00\x00", 4)}}},
         0, {1, 180000, 0}},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", RegValueBlob(REG_DWORD, "\x60\xEA", 2)}}}, 0, defaults},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", S::Text("abc")}}}, 0, {0, 0x00636261, 0}},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", S::Dword(0)}}}, 0, {0, 0, 0}},
    };
    int step = 0;
    for (const auto& [config, status, after] : steps) {
        SCOPED_TRACE(testing::Message() << "step " << step++);
        S::Remove(HKEY_CURRENT_USER, keys::kConfig);
        if (config) S::Create(HKEY_CURRENT_USER, keys::kConfig);
        for (const auto& [name, value] : config.value_or(Values{})) S::Put(HKEY_CURRENT_USER, keys::kConfig, name, value);
        EXPECT_EQ(status, Store(before)->ReadSettings());
        EXPECT_EQ(after, Held());
    }
}

TEST(ConfigStore, WritesLittleEndianDwordsReportingEachAndMakesAMissingKey) {
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

    // Without the Config key (an account the installer did not set up) the key
    // is made and the settings kept; the settings above it are left alone.
    S::Remove(HKEY_CURRENT_USER, keys::kConfig);
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Chat", "C:\\chat.exe");
    Store({1, 120000, 0});
    EXPECT_EQ(threeSuccesses, WriteAndCapture());
    EXPECT_EQ(Dword("\x01\0\0\0"), Stored("Manual"));
    EXPECT_EQ(Dword("\xC0\xD4\x01\0"), Stored("TimeDelay"));
    EXPECT_EQ(Dword("\0\0\0\0"), Stored("Restored"));
    EXPECT_EQ(S::Text("C:\\chat.exe"), S::Get(HKEY_CURRENT_USER, keys::kBackUp, "Chat"));

    // A key that cannot be made (a non-volatile key under a volatile one):
    // each value is reported unwritten, and nothing is made.
    S::Remove(HKEY_CURRENT_USER, "software\\Quorvell Software\\Pacewick");
    win::UniqueKey volatileParent;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "software\\Quorvell Software\\Pacewick", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, volatileParent.Put(),
                                             nullptr));
    EXPECT_EQ("Reg entry put UNSUCCESSFUL!!\nReg entry put UNSUCCESSFUL!!\nReg entry put UNSUCCESSFUL!!\n",
              WriteAndCapture());
    EXPECT_FALSE(S::Exists(HKEY_CURRENT_USER, keys::kConfig));
}

}  // namespace
