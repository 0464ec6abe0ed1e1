#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "RegistrySandbox.h"
#include "registry/ConfigStore.h"
#include "registry/RegistryKeys.h"

namespace {

// The store is a process singleton: every test starts it from known values.
CConfigStore* Store(int manual, DWORD delay, int restored) {
    CConfigStore* store = CConfigStore::GetInstance();
    store->SetManual(manual);
    store->SetTimeDelay(delay);
    store->SetRestored(restored);
    return store;
}

void ExpectSettings(int manual, DWORD delay, int restored) {
    const CConfigStore* store = CConfigStore::GetInstance();
    EXPECT_EQ(manual, store->GetManual());
    EXPECT_EQ(delay, store->GetTimeDelay());
    EXPECT_EQ(restored, store->GetRestored());
}

std::string WriteAndCapture(CConfigStore* store) {
    testing::internal::CaptureStdout();
    store->WriteSettings();
    return testing::internal::GetCapturedStdout();
}

std::vector<BYTE> Stored(const char* name) {
    const auto value = RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kConfig, name);
    if (!value) return {};
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value->type) << name;
    return value->bytes;
}

void PutConfig(const char* name, const RegValueBlob& value) {
    RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kConfig, name, value);
}

const std::string kThreeSuccesses =
    "Reg entry put SUCCESSFULLY!!\nReg entry put SUCCESSFULLY!!\nReg entry put SUCCESSFULLY!!\n";

TEST(ConfigStore, OneInstanceEvenWhenFirstAskedFromTwoThreads) {
    CConfigStore* seen[2] = {};
    std::thread other([&] { seen[0] = CConfigStore::GetInstance(); });
    seen[1] = CConfigStore::GetInstance();
    other.join();
    ASSERT_NE(nullptr, seen[1]);
    EXPECT_EQ(seen[0], seen[1]);
}

TEST(ConfigStore, WithoutConfigKeyNothingIsReadWrittenPrintedOrCreated) {
    RegistrySandbox::Keys keys;
    keys.config = false;
    RegistrySandbox sandbox(keys);

    CConfigStore* store = Store(0, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), store->ReadSettings());
    ExpectSettings(0, 0, 0);

    Store(1, 120000, 1);
    EXPECT_NE(0u, store->ReadSettings());
    ExpectSettings(1, 120000, 1);

    EXPECT_EQ("", WriteAndCapture(store));
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_CURRENT_USER, keys::kConfig));
}

TEST(ConfigStore, ReadTakesFourByteValuesAndKeepsWhatIsMissingOrMisshapen) {
    RegistrySandbox sandbox;
    CConfigStore* store = Store(0, 0, 0);

    // No "Manual": nothing is taken, not even the values that are there.
    PutConfig("TimeDelay", RegistrySandbox::Dword(60000));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), store->ReadSettings());
    ExpectSettings(0, 0, 0);

    // Only "Manual": the other two keep their values.
    RegistrySandbox::Remove(HKEY_CURRENT_USER, keys::kConfig);
    RegistrySandbox::Create(HKEY_CURRENT_USER, keys::kConfig);
    PutConfig("Manual", RegistrySandbox::Dword(1));
    Store(0, 240000, 1);
    EXPECT_EQ(0u, store->ReadSettings());
    ExpectSettings(1, 240000, 1);

    // All three, over different values in memory.
    PutConfig("Manual", RegistrySandbox::Dword(0));
    PutConfig("TimeDelay", RegistrySandbox::Dword(180000));
    PutConfig("Restored", RegistrySandbox::Dword(0));
    Store(1, 5, 1);
    EXPECT_EQ(0u, store->ReadSettings());
    ExpectSettings(0, 180000, 0);

    // A text longer than four bytes, and a value shorter than four, are not read;
    // four bytes of another type are the number.
    PutConfig("TimeDelay", RegistrySandbox::Text("1234"));
    PutConfig("Restored", RegValueBlob(REG_BINARY, "\x01\x00", 2));
    PutConfig("Manual", RegValueBlob(REG_BINARY, "\x01\x00\x00\x00", 4));
    Store(0, 300000, 7);
    EXPECT_EQ(0u, store->ReadSettings());
    ExpectSettings(1, 300000, 7);

    // A short "Manual" counts as missing: nothing changes.
    PutConfig("Manual", RegValueBlob(REG_BINARY, "\x01", 1));
    PutConfig("TimeDelay", RegistrySandbox::Dword(60000));
    Store(0, 300000, 0);
    EXPECT_NE(0u, store->ReadSettings());
    ExpectSettings(0, 300000, 0);
}

TEST(ConfigStore, DelayCommandsStoreLittleEndianDwordsAndReportEachWrite) {
    RegistrySandbox sandbox;

    // "3 min"; "Restored" is rewritten with what memory holds.
    CConfigStore* store = Store(1, 60000, 1);
    store->SetManual(0);
    store->SetTimeDelay(180000);
    EXPECT_EQ(kThreeSuccesses, WriteAndCapture(store));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), Stored("Manual"));
    EXPECT_EQ((std::vector<BYTE>{0x20, 0xBF, 0x02, 0x00}), Stored("TimeDelay"));
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), Stored("Restored"));

    // "manual": the delay is rewritten unchanged.
    store->SetManual(1);
    EXPECT_EQ(kThreeSuccesses, WriteAndCapture(store));
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), Stored("Manual"));
    EXPECT_EQ((std::vector<BYTE>{0x20, 0xBF, 0x02, 0x00}), Stored("TimeDelay"));

    // "Apply" at 30 minutes, read back after memory was changed.
    store->SetManual(0);
    store->SetTimeDelay(30 * 60000);
    store->SetRestored(0);
    EXPECT_EQ(kThreeSuccesses, WriteAndCapture(store));
    Store(1, 1, 1);
    EXPECT_EQ(0u, store->ReadSettings());
    ExpectSettings(0, 1800000, 0);
    EXPECT_EQ((std::vector<BYTE>{0x40, 0x77, 0x1B, 0x00}), Stored("TimeDelay"));
}

}  // namespace
