#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "registry/AccountKeys.h"
#include "registry/ConfigStore.h"
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

// An account the installer never set up: only the Run keys exist.
TEST(AccountKeys, AnAccountWithoutKeysGetsDefaultsItsOwnKeysAndKeepsWhatItChooses) {
    S sandbox(S::Keys{false, false, false, true, true});
    CConfigStore* store = CConfigStore::GetInstance();
    store->SetTimeDelay(0);
    store->ReadSettings();
    EXPECT_EQ(180000u, store->GetTimeDelay()) << "an account without settings would start everything at once";

    EXPECT_TRUE(registry::CreateAccountKeys());
    EXPECT_TRUE(S::Exists(HKEY_CURRENT_USER, keys::kConfig));
    EXPECT_TRUE(S::Exists(HKEY_CURRENT_USER, keys::kBackUp));
    EXPECT_FALSE(S::Exists(HKEY_LOCAL_MACHINE, keys::kBackUp)) << "a machine key was made";
    EXPECT_TRUE(S::ValueNames(HKEY_CURRENT_USER, keys::kConfig).empty());

    // The made keys hold what the program puts there.
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Chat", "C:\\chat.exe");
    store->SetManual(1);
    store->SetTimeDelay(300000);
    store->SetRestored(0);
    testing::internal::CaptureStdout();
    store->WriteSettings();
    testing::internal::GetCapturedStdout();
    store->SetTimeDelay(0);
    EXPECT_EQ(0u, store->ReadSettings());
    EXPECT_EQ(1, store->GetManual());
    EXPECT_EQ(300000u, store->GetTimeDelay());
    EXPECT_EQ(S::Text("C:\\chat.exe"), S::Get(HKEY_CURRENT_USER, keys::kBackUp, "Chat"));
}

TEST(AccountKeys, KeysThatExistAreLeftAsTheyAre) {
    S sandbox;
    S::Put(HKEY_CURRENT_USER, keys::kConfig, "Manual", S::Dword(1));
    S::Put(HKEY_CURRENT_USER, keys::kConfig, "TimeDelay", RegValueBlob(REG_DWORD, "\x60\xEA", 2));
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Chat", "C:\\chat.exe");
    S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "Sync", "C:\\sync.exe", REG_EXPAND_SZ);
    const FILETIME config = LastWritten(HKEY_CURRENT_USER, keys::kConfig);
    const FILETIME backUp = LastWritten(HKEY_CURRENT_USER, keys::kBackUp);
    Sleep(20);  // a write now would show in the times

    EXPECT_TRUE(registry::CreateAccountKeys());
    EXPECT_TRUE(Same(config, LastWritten(HKEY_CURRENT_USER, keys::kConfig)));
    EXPECT_TRUE(Same(backUp, LastWritten(HKEY_CURRENT_USER, keys::kBackUp)));
    EXPECT_EQ((std::vector<std::string>{"Manual", "TimeDelay"}), S::ValueNames(HKEY_CURRENT_USER, keys::kConfig));
    EXPECT_EQ(S::Dword(1), S::Get(HKEY_CURRENT_USER, keys::kConfig, "Manual"));
    EXPECT_EQ(RegValueBlob(REG_DWORD, "\x60\xEA", 2), S::Get(HKEY_CURRENT_USER, keys::kConfig, "TimeDelay"));
    EXPECT_EQ((std::vector<std::string>{"Chat"}), S::ValueNames(HKEY_CURRENT_USER, keys::kBackUp));
    EXPECT_EQ(S::Text("C:\\chat.exe"), S::Get(HKEY_CURRENT_USER, keys::kBackUp, "Chat"));
    EXPECT_EQ(S::Text("C:\\sync.exe", REG_EXPAND_SZ), S::Get(HKEY_LOCAL_MACHINE, keys::kBackUp, "Sync"));

    // Where a key cannot be made the call says so.
    S::Remove(HKEY_CURRENT_USER, "software\\Quorvell Software\\Pacewick");
    win::UniqueKey volatileParent;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "software\\Quorvell Software\\Pacewick", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, volatileParent.Put(),
                                             nullptr));
    EXPECT_FALSE(registry::CreateAccountKeys());
    EXPECT_FALSE(S::Exists(HKEY_CURRENT_USER, keys::kConfig));
}

}  // namespace
