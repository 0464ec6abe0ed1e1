#include <gtest/gtest.h>

#include <string>

#include "RegistrySandbox.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "win/Scoped.h"

namespace {

TEST(RegistryAccess, ReadsUpTo512BytesWritesExactBytesAndKeepsTheDestinationOnFailure) {
    RegistrySandbox sandbox;
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kRun, "fits", std::string(511, 'a'));
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kRun, "toolong", std::string(512, 'b'));
    const RegistryAccess access;
    win::UniqueKey run;
    ASSERT_EQ(0, access.OpenKey(HKEY_CURRENT_USER, keys::kRun, run.Put()));

    RegValueBlob blob;
    ASSERT_EQ(0, access.ReadValue(run.Get(), "fits", &blob));
    EXPECT_EQ(RegistrySandbox::Text(std::string(511, 'a')), blob);
    const RegValueBlob before = RegistrySandbox::Dword(7);
    blob = before;
    EXPECT_EQ(ERROR_MORE_DATA, access.ReadValue(run.Get(), "toolong", &blob));
    EXPECT_EQ(before, blob);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, access.ReadValue(run.Get(), "missing", &blob));
    EXPECT_EQ(before, blob);
    ASSERT_EQ(0, access.ReadWholeValue(run.Get(), "toolong", &blob));  // copying knows no limit
    EXPECT_EQ(513u, blob.count());

    const RegValueBlob abc(REG_SZ, "abc", 4), empty(REG_BINARY, "", 0);
    ASSERT_EQ(0, access.WriteValue(run.Get(), "abc", &abc));
    ASSERT_EQ(0, access.WriteValue(run.Get(), "empty", &empty));
    EXPECT_EQ(RegValueBlob(REG_SZ, "abc", 4), RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "abc"));
    EXPECT_EQ(RegValueBlob(REG_BINARY, nullptr, 0), RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "empty"));
    EXPECT_EQ(0, access.DeleteValue(run.Get(), "abc"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, access.DeleteValue(run.Get(), "abc"));
    EXPECT_FALSE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "abc"));

    // A missing argument gives 160 and touches nothing; OpenKey never creates a key.
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, access.OpenKey(HKEY_CURRENT_USER, keys::kRun, nullptr));
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, access.ReadValue(run.Get(), "x", nullptr));
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, access.WriteValue(run.Get(), "x", nullptr));
    EXPECT_FALSE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "x"));
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, access.OpenKey(HKEY_CURRENT_USER, "software\\NoSuchKey", &opened));
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_CURRENT_USER, "software\\NoSuchKey"));
}

}  // namespace
