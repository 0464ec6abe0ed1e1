#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "TakeOverSupport.h"
#include "registry/RegKey.h"

namespace {

using namespace enginetest;
using WideSnapshot = std::map<std::wstring, RegValueBlob>;  // a key's values by their UTF-16 names

constexpr int kValues = 1000;
constexpr unsigned kSeed = 4711;
const DWORD kTypes[] = {REG_NONE,  REG_SZ,   REG_EXPAND_SZ,     REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                        REG_LINK,  REG_MULTI_SZ, REG_RESOURCE_LIST, REG_QWORD, 12,        0x12345678};

// A name or command with quotes, %, spaces, other scripts, non-BMP, sometimes lone surrogates or great length.
std::wstring RandomText(std::mt19937& random, std::size_t length) {
    static const std::wstring pieces[] = {L"a", L"Z", L"7", L" ", L"\"", L"%", L"\\", L"-", L".exe", L"%PATH%",
                                          L"\u00e9", L"\u0416", L"\u540d", L"\U0001F600", L",", L"'", L"\t"};
    std::wstring text;
    while (text.size() < length) text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
    if (random() % 20 == 0) text.insert(random() % (text.size() + 1), 1, static_cast<wchar_t>(0xD800 + random() % 0x400));
    return text;
}

std::size_t RandomLength(std::mt19937& random, std::size_t longest) {  // mostly what an entry holds, sometimes far more
    const std::size_t bounds[] = {40, 200, 600, longest + 1}, pick = random() % 4;
    return random() % bounds[pick];
}

RegValueBlob RandomValue(std::mt19937& random) {
    std::string bytes;
    DWORD type = kTypes[random() % (sizeof kTypes / sizeof kTypes[0])];
    if (random() % 2) {  // a command, of any length, with its NUL, without it, or of odd length
        type = random() % 2 ? REG_SZ : REG_EXPAND_SZ;
        std::wstring text = RandomText(random, RandomLength(random, 1000));
        if (random() % 4) text += L'\0';
        bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
        if (random() % 8 == 0 && !bytes.empty()) bytes.pop_back();
    } else {  // any bytes at all, text or not, up to 64 KiB
        bytes.resize(RandomLength(random, 64 * 1024));
        for (char& byte : bytes) byte = static_cast<char>(random());
    }
    return RegValueBlob(type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Every value of a key, read through the UTF-16 calls: the bytes as the registry keeps them.
WideSnapshot TakeWide(HKEY hive, const wchar_t* path) {
    WideSnapshot snapshot;
    win::UniqueKey key;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return snapshot;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (RegEnumValueW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        registry::KeyRef(key.Get()).ReadValue(std::wstring(name, length), &snapshot[std::wstring(name, length)]);
    }
    return snapshot;
}

TEST(TakeOver, ThousandRandomValuesComeBackByteForByteAfterRestore) {
    RegistrySandbox sandbox;
    std::mt19937 random(kSeed);
    for (HKEY hive : {kUser, kMachine}) {
        win::UniqueKey run;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(hive, keys::kRun, 0, KEY_ALL_ACCESS, run.Put()));
        for (int index = 0; index < kValues / 2; ++index) {
            const RegValueBlob value = RandomValue(random);
            registry::KeyRef(run.Get()).WriteValue(RandomText(random, RandomLength(random, 16383)), value);
        }
    }
    const WideSnapshot userRun = TakeWide(kUser, keys::kRun), machineRun = TakeWide(kMachine, keys::kRun);
    ASSERT_GT(userRun.size() + machineRun.size(), 900u);
    TestEngine engine;
    takeover::CStartupManager& manager = engine.manager;

    OutputOf([&] { manager.TakeOver(); });
    EXPECT_GT(engine.List().Count(), 150u) << "too few values were taken over for the test to mean much";
    // Each value sits in its Run key or in its BackUp key, exactly, never in both.
    for (const auto& [hive, run] : {std::pair<HKEY, const WideSnapshot*>{kUser, &userRun}, {kMachine, &machineRun}}) {
        WideSnapshot now = TakeWide(hive, keys::kRun);
        for (const auto& [name, value] : TakeWide(hive, keys::kBackUp)) EXPECT_TRUE(now.emplace(name, value).second);
        EXPECT_TRUE(*run == now) << "a value was lost, altered or doubled in the take-over";
    }

    bool restored = false;
    OutputOf([&] { restored = manager.RestoreAll(); });  // the walk's lines of random names
    EXPECT_TRUE(restored);
    EXPECT_TRUE(userRun == TakeWide(kUser, keys::kRun)) << "the user's Run key differs after the restore";
    EXPECT_TRUE(machineRun == TakeWide(kMachine, keys::kRun)) << "the machine Run key differs after the restore";
    EXPECT_TRUE(TakeWide(kUser, keys::kBackUp).empty() && TakeWide(kMachine, keys::kBackUp).empty());
}

}  // namespace
