#include <gtest/gtest.h>

#include <algorithm>
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
#include "win/LittleEndian.h"

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

// Every step starts from settings unlike the defaults, so that one left as it was shows.
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
        // Only a 4-byte REG_DWORD is read, even a delay of 0.
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

    // The start mode is written with the others and read back; non-zero is on, misshapen off.
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

    // The notices of newcomers: on, and not written, until chosen; chosen off, read back off.
    EXPECT_TRUE(theStore.GetNotifyNewcomers());
    EXPECT_FALSE(S::Get(kUser, keys::kConfig, "NotifyNewcomers"));
    theStore.SetNotifyNewcomers(false);
    WriteAndCapture();
    EXPECT_EQ(Dword("\0\0\0\0"), Stored("NotifyNewcomers"));
    theStore.SetNotifyNewcomers(true);
    theStore.ReadSettings();
    EXPECT_FALSE(theStore.GetNotifyNewcomers());
    RegDeleteKeyValueW(kUser, keys::kConfig, L"NotifyNewcomers");
    theStore.ReadSettings();
    EXPECT_TRUE(theStore.GetNotifyNewcomers());
}

// Typed reads take a 4-byte REG_DWORD only, names in any script up to the longest; keys opened, never made.
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

// Every failure gives the registry's status and changes nothing handed in; typed reads check the shape.
TEST(RegistryKey, FailedReadsChangeNothingAndWholeReadsTakeAnySize) {
    S sandbox;
    registry::Key key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(kUser, L"software\\Quorvell Software\\Values", KEY_ALL_ACCESS));
    const RegValueBlob kept(REG_SZ, "kept", 4);
    RegValueBlob read = kept;
    BYTE bytes[16] = {9, 9};
    DWORD number = 7;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadValue(L"missing", &read));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadExact(L"missing", REG_BINARY, bytes, sizeof bytes));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.FindValue(L"missing"));
    for (const RegValueBlob& misshapen : {RegValueBlob(REG_SZ, "0123456789abcdef", 16),
                                          RegValueBlob(REG_BINARY, "0123456789abcde", 15),
                                          RegValueBlob(REG_BINARY, "0123456789abcdefg", 17)}) {
        ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"shape", misshapen));
        EXPECT_EQ(ERROR_INVALID_DATA, key.ReadExact(L"shape", REG_BINARY, bytes, sizeof bytes)) << misshapen.count();
        EXPECT_EQ(ERROR_INVALID_DATA, key.ReadDword(L"shape", &number)) << misshapen.count();
    }
    EXPECT_TRUE(read == kept && bytes[0] == 9 && bytes[1] == 9 && number == 7) << "a failed read changed its destination";

    // Far larger than the first guess, and under a name no code page holds (a lone surrogate among three scripts).
    const std::wstring name = L"\xD800 \u05D0\u9375\u0416";
    RegValueBlob large(REG_BINARY, nullptr, 0);
    for (int i = 0; i < 100000; ++i) large.bytes.push_back(static_cast<BYTE>(i * 7));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(name, large));
    EXPECT_EQ(ERROR_SUCCESS, key.FindValue(name));
    ASSERT_EQ(ERROR_SUCCESS, key.ReadValue(name, &read));
    EXPECT_TRUE(read == large) << read.count() << " bytes read";
    std::vector<std::wstring> names;
    ASSERT_EQ(ERROR_SUCCESS, key.ValueNames(&names));
    EXPECT_EQ((std::vector<std::wstring>{L"shape", name}), names);

    // Without a key or an output, nothing is asked of the registry.
    const registry::KeyRef none;
    EXPECT_EQ(ERROR_INVALID_HANDLE, none.ReadValue(name, &read));
    EXPECT_EQ(ERROR_INVALID_HANDLE, none.ValueNames(&names));
    EXPECT_EQ(ERROR_INVALID_HANDLE, none.WriteValue(name, kept));
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, key.ValueNames(nullptr));
    EXPECT_EQ(2u, names.size());
}

TEST(RegistryKey, EnumerationPrintsNothingAndOnlyTheOwnerClosesItsKey) {
    S sandbox;
    const std::wstring path = L"software\\Quorvell Software\\Listed";
    registry::Key sub;
    for (const wchar_t* child : {L"\u00DCber", L"Zweig"}) ASSERT_EQ(ERROR_SUCCESS, sub.Create(kUser, path + L"\\" + child, KEY_READ));
    registry::Key owner;
    ASSERT_EQ(ERROR_SUCCESS, owner.Open(kUser, path, KEY_ALL_ACCESS));
    std::vector<std::wstring> values, subkeys;
    const std::string printed = OutputOf([&] {
        const registry::KeyRef ref(owner.Get());
        EXPECT_EQ(ERROR_SUCCESS, ref.WriteDword(L"one", 1));
        EXPECT_EQ(ERROR_SUCCESS, ref.ValueNames(&values));
        EXPECT_EQ(ERROR_SUCCESS, ref.SubkeyNames(&subkeys));
    });
    EXPECT_EQ("", printed);
    EXPECT_EQ((std::vector<std::wstring>{L"one"}), values);
    std::sort(subkeys.begin(), subkeys.end());  // in whatever order the registry keeps them
    EXPECT_EQ((std::vector<std::wstring>{L"Zweig", L"\u00DCber"}), subkeys);
    DWORD one = 0;
    EXPECT_TRUE(owner.ReadDword(L"one", &one) == ERROR_SUCCESS && one == 1) << "the KeyRef closed its owner's key";
    registry::Key moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(ERROR_INVALID_HANDLE, owner.FindValue(L"one"));
    EXPECT_EQ(ERROR_SUCCESS, moved.FindValue(L"one"));
}

TEST(LittleEndian, PutsTheLeastSignificantByteFirstAndReadsItBack) {
    BYTE bytes[8] = {};
    win::PutLittleEndian<std::uint32_t>(0x01020304u, bytes);
    EXPECT_EQ((std::vector<BYTE>{4, 3, 2, 1, 0}), std::vector<BYTE>(bytes, bytes + 5));
    const BYTE counted[8] = {1, 2, 3, 4, 5, 6, 7, 0xF8};
    EXPECT_EQ(0xF807060504030201ull, win::GetLittleEndian<std::uint64_t>(counted));
    EXPECT_EQ(0x0201u, win::GetLittleEndian<std::uint16_t>(counted));
    win::PutLittleEndian<std::uint64_t>(0xF807060504030201ull, bytes);
    EXPECT_EQ(std::vector<BYTE>(counted, counted + 8), std::vector<BYTE>(bytes, bytes + 8));
}

// The last write time of a key, which any change to it or its values moves.
ULONGLONG LastWritten(HKEY hive, const wchar_t* path) {
    FILETIME written = {};
    win::UniqueKey key;
    if (RegOpenKeyExW(hive, path, 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS)
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written);
    return (ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

// A new account gets its own keys, empty; existing keys are not written; unmakeable keys are reported.
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
