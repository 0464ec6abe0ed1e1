#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "registry/AccountKeys.h"
#include "registry/ConfigStore.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;
using Settings = std::tuple<int, DWORD, int>;  // Manual, TimeDelay, Restored

// One store for the whole test, as the program has: every step starts it from known values.
CConfigStore theStore;

CConfigStore* Store(Settings settings) {
    CConfigStore* store = &theStore;
    store->SetManual(std::get<0>(settings));
    store->SetTimeDelay(std::get<1>(settings));
    store->SetRestored(std::get<2>(settings));
    return store;
}

Settings Held() {
    const CConfigStore* store = &theStore;
    return Settings{store->GetManual(), store->GetTimeDelay(), store->GetRestored()};
}

std::string WriteAndCapture() { return OutputOf([] { theStore.WriteSettings(); }); }

RegValueBlob Stored(const char* name) { return S::Get(kUser, keys::kConfig, name).value_or(S::Text("")); }
RegValueBlob Dword(const char* bytes) { return RegValueBlob(REG_DWORD, bytes, 4); }

// Every step starts from settings unlike the defaults, so that a setting left
// as it was shows.
TEST(ConfigStore, ReadTakesDwordsAndDefaultsWhatIsMissingOrMisshapen) {
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
        // Only a REG_DWORD of four bytes is read, even a delay of 0: no text,
        // nor four bytes of another type, nor a DWORD of another size.
        {{{{"TimeDelay", S::Text("1234")},
           {"Restored", RegValueBlob(REG_BINARY, "\x01\x00", 2)},
           {"Manual", RegValueBlob(REG_BINARY, "\x01\x00\x00\x00", 4)}}},
         ERROR_INVALID_DATA, defaults},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", RegValueBlob(REG_DWORD, "\x60\xEA", 2)}}}, 0, defaults},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", S::Text("abc")}}}, 0, defaults},
        {{{{"Manual", S::Dword(0)}, {"TimeDelay", S::Dword(0)}}}, 0, {0, 0, 0}},
    };
    int step = 0;
    for (const auto& [config, status, after] : steps) {
        SCOPED_TRACE(testing::Message() << "step " << step++);
        S::Remove(kUser, keys::kConfig);
        if (config) S::Create(kUser, keys::kConfig);
        for (const auto& [name, value] : config.value_or(Values{})) S::Put(kUser, keys::kConfig, name, value);
        EXPECT_EQ(status, Store(before)->ReadSettings());
        EXPECT_EQ(after, Held());
    }
}

TEST(ConfigStore, WritesLittleEndianDwordsReportingEach) {
    S sandbox;
    const std::string threeSuccesses =
        "Reg entry put SUCCESSFULLY!!\nReg entry put SUCCESSFULLY!!\nReg entry put SUCCESSFULLY!!\n";
    // "3 min"; "Restored" is rewritten with what memory holds.
    Store({0, 180000, 1});
    EXPECT_EQ(threeSuccesses, WriteAndCapture());
    EXPECT_EQ(Dword("\0\0\0\0"), Stored("Manual"));
    EXPECT_EQ(Dword("\x20\xBF\x02\0"), Stored("TimeDelay"));
    EXPECT_EQ(Dword("\x01\0\0\0"), Stored("Restored"));
    EXPECT_FALSE(S::Get(kUser, keys::kConfig, "StartWhenReady"));  // never chosen: never written

    // The start mode, once chosen, is written with the others and read back;
    // any value but 0 means on, and a misshapen one off.
    theStore.SetStartWhenReady(true);
    EXPECT_EQ(threeSuccesses + "Reg entry put SUCCESSFULLY!!\n", WriteAndCapture());
    EXPECT_EQ(Dword("\x01\0\0\0"), Stored("StartWhenReady"));
    theStore.SetStartWhenReady(false);
    theStore.ReadSettings();
    EXPECT_TRUE(theStore.GetStartWhenReady());
    S::Put(kUser, keys::kConfig, "StartWhenReady", S::Dword(7));
    theStore.ReadSettings();
    EXPECT_TRUE(theStore.GetStartWhenReady());
    S::Put(kUser, keys::kConfig, "StartWhenReady", S::Text("1"));
    theStore.ReadSettings();
    EXPECT_FALSE(theStore.GetStartWhenReady());
}

// Typed reads take a REG_DWORD of four bytes only, by names in any script up to
// the registry's longest; a key is opened, never made, unless created.
TEST(RegistryKey, DwordReadsTakeOnlyFourByteDwordsByAnyName) {
    S sandbox;
    const std::wstring path = L"software\\Quorvell Software\\Schl\u00FCssel \u9375";
    std::wstring name(16383, L'\u05D0');
    name.replace(100, 3, L"\u0416\u3042\u0627");
    registry::Key key;
    DWORD value = 7;
    EXPECT_EQ(ERROR_INVALID_HANDLE, key.ReadDword(name, &value));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(kUser, path, KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, key.Create(kUser, path, KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(name, 0x01020304));
    EXPECT_TRUE(key.ReadDword(name, &value) == ERROR_SUCCESS && value == 0x01020304u);
    for (const auto& [type, bytes] : {std::pair<DWORD, std::string>{REG_BINARY, "\4\3\2\1"}, {REG_SZ, "\4\3"},
                                      {REG_DWORD, "\4\3"}, {REG_DWORD, "\4\3\2\1\5"}, {REG_QWORD, "\1\1\1\1\1\1\1\1"}}) {
        ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Shape", RegValueBlob(type, bytes.data(), DWORD(bytes.size()))));
        EXPECT_EQ(ERROR_INVALID_DATA, key.ReadDword(L"Shape", &value)) << type << " of " << bytes.size();
    }
    ASSERT_EQ(ERROR_SUCCESS, key.DeleteValue(name));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadDword(name, &value));
    EXPECT_EQ(0x01020304u, value) << "a failed read changed the number";
}

// The last write time of a key, which any change to it or its values moves.
ULONGLONG LastWritten(HKEY hive, const char* path) {
    FILETIME written = {};
    win::UniqueKey key;
    if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS)
        RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written);
    return (ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

// An account the installer never set up (only the Run keys exist) gets its own
// keys, empty, and no machine key; keys that exist keep every value and are not
// even written. Where the keys cannot be made (a non-volatile key under a
// volatile one) the call says so, and the settings are reported unwritten.
TEST(AccountKeys, MakesOnlyTheAccountsMissingKeysAndLeavesExistingOnesUntouched) {
    S sandbox(S::Keys{false, false, false, true, true});
    EXPECT_TRUE(registry::CreateAccountKeys());
    EXPECT_TRUE(S::Exists(kUser, keys::kConfig));
    EXPECT_TRUE(S::Exists(kUser, keys::kBackUp));
    EXPECT_FALSE(S::Exists(kMachine, keys::kBackUp)) << "a machine key was made";
    EXPECT_TRUE(S::ValueNames(kUser, keys::kConfig).empty());

    S::Put(kUser, keys::kConfig, "Manual", S::Dword(1));
    S::Put(kUser, keys::kConfig, "TimeDelay", RegValueBlob(REG_DWORD, "\x60\xEA", 2));
    S::PutText(kUser, keys::kBackUp, "Chat", "C:\\chat.exe");
    const ULONGLONG config = LastWritten(kUser, keys::kConfig), backUp = LastWritten(kUser, keys::kBackUp);
    Sleep(20);  // a write now would show in the times
    EXPECT_TRUE(registry::CreateAccountKeys());
    EXPECT_EQ(config, LastWritten(kUser, keys::kConfig));
    EXPECT_EQ(backUp, LastWritten(kUser, keys::kBackUp));
    EXPECT_EQ((std::vector<std::string>{"Manual", "TimeDelay"}), S::ValueNames(kUser, keys::kConfig));
    EXPECT_EQ(RegValueBlob(REG_DWORD, "\x60\xEA", 2), S::Get(kUser, keys::kConfig, "TimeDelay"));
    EXPECT_EQ(S::Text("C:\\chat.exe"), S::Get(kUser, keys::kBackUp, "Chat"));

    S::Remove(kUser, "software\\Quorvell Software\\Pacewick");
    win::UniqueKey volatileParent;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(kUser, "software\\Quorvell Software\\Pacewick", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, volatileParent.Put(), nullptr));
    EXPECT_FALSE(registry::CreateAccountKeys());
    EXPECT_EQ("Reg entry put UNSUCCESSFUL!!\nReg entry put UNSUCCESSFUL!!\nReg entry put UNSUCCESSFUL!!\n",
              WriteAndCapture());
    EXPECT_FALSE(S::Exists(kUser, keys::kConfig));
}

}  // namespace
