#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "registry/AccountKeys.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;

// The last write time of a key, which any change to it or its values moves.
FILETIME LastWritten(HKEY hive, const char* path) {
    FILETIME written = {};
    win::UniqueKey key;
    if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS)
        RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written);
    return written;
}

bool Same(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) == 0; }

// An account the installer never set up (only the Run keys exist) gets its own
// keys, empty, and no machine key; keys that exist keep every value and are not
// even written; where a key cannot be made the call says so.
TEST(AccountKeys, MakesOnlyTheAccountsMissingKeysAndLeavesExistingOnesUntouched) {
    S sandbox(S::Keys{false, false, false, true, true});
    EXPECT_TRUE(registry::CreateAccountKeys());
    EXPECT_TRUE(S::Exists(HKEY_CURRENT_USER, keys::kConfig));
    EXPECT_TRUE(S::Exists(HKEY_CURRENT_USER, keys::kBackUp));
    EXPECT_FALSE(S::Exists(HKEY_LOCAL_MACHINE, keys::kBackUp)) << "a machine key was made";
    EXPECT_TRUE(S::ValueNames(HKEY_CURRENT_USER, keys::kConfig).empty());

    S::Put(HKEY_CURRENT_USER, keys::kConfig, "Manual", S::Dword(1));
    S::Put(HKEY_CURRENT_USER, keys::kConfig, "TimeDelay", RegValueBlob(REG_DWORD, "\x60\xEA", 2));
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Chat", "C:\\chat.exe");
    const FILETIME config = LastWritten(HKEY_CURRENT_USER, keys::kConfig);
    const FILETIME backUp = LastWritten(HKEY_CURRENT_USER, keys::kBackUp);
    Sleep(20);  // a write now would show in the times
    EXPECT_TRUE(registry::CreateAccountKeys());
    EXPECT_TRUE(Same(config, LastWritten(HKEY_CURRENT_USER, keys::kConfig)));
    EXPECT_TRUE(Same(backUp, LastWritten(HKEY_CURRENT_USER, keys::kBackUp)));
    EXPECT_EQ((std::vector<std::string>{"Manual", "TimeDelay"}), S::ValueNames(HKEY_CURRENT_USER, keys::kConfig));
    EXPECT_EQ(RegValueBlob(REG_DWORD, "\x60\xEA", 2), S::Get(HKEY_CURRENT_USER, keys::kConfig, "TimeDelay"));
    EXPECT_EQ(S::Text("C:\\chat.exe"), S::Get(HKEY_CURRENT_USER, keys::kBackUp, "Chat"));

    S::Remove(HKEY_CURRENT_USER, "software\\Quorvell Software\\Pacewick");
    win::UniqueKey volatileParent;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "software\\Quorvell Software\\Pacewick", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, volatileParent.Put(),
                                             nullptr));
    EXPECT_FALSE(registry::CreateAccountKeys());
    EXPECT_FALSE(S::Exists(HKEY_CURRENT_USER, keys::kConfig));
}

}  // namespace
