#include <gtest/gtest.h>

#include <string>

#include "RegistrySandbox.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "win/Scoped.h"

namespace {

win::UniqueKey OpenRun() {
    win::UniqueKey key;
    EXPECT_EQ(ERROR_SUCCESS, RegistryAccess().OpenKey(HKEY_CURRENT_USER, keys::kRun, key.Put()));
    return key;
}

TEST(RegistryAccess, ReadsUpTo512BytesAndKeepsTheDestinationOtherwise) {
    RegistrySandbox sandbox;
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kRun, "fits", std::string(511, 'a'));
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kRun, "toolong", std::string(512, 'b'));
    win::UniqueKey run = OpenRun();
    RegistryAccess access;

    RegValueBlob blob;
    ASSERT_EQ(0, access.ReadValue(run.Get(), "fits", &blob));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), blob.type);
    EXPECT_EQ(512u, blob.count());
    EXPECT_EQ('\0', blob.bytes.back());

    const RegValueBlob before = RegistrySandbox::Dword(7);
    blob = before;
    EXPECT_EQ(ERROR_MORE_DATA, access.ReadValue(run.Get(), "toolong", &blob));
    EXPECT_EQ(before, blob);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, access.ReadValue(run.Get(), "missing", &blob));
    EXPECT_EQ(before, blob);

    // Copying a value whole knows no such limit.
    ASSERT_EQ(0, access.ReadWholeValue(run.Get(), "toolong", &blob));
    EXPECT_EQ(513u, blob.count());
}

TEST(RegistryAccess, MissingArgumentsGive160AndTouchNothing) {
    RegistrySandbox sandbox;
    win::UniqueKey run = OpenRun();
    RegistryAccess access;
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, access.OpenKey(HKEY_CURRENT_USER, keys::kRun, nullptr));
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, access.ReadValue(run.Get(), "x", nullptr));
    EXPECT_EQ(ERROR_BAD_ARGUMENTS, access.WriteValue(run.Get(), "x", nullptr));
    EXPECT_TRUE(RegistrySandbox::ValueNames(HKEY_CURRENT_USER, keys::kRun).empty());
    // OpenKey never creates a key.
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, access.OpenKey(HKEY_CURRENT_USER, "software\\NoSuchKey", &opened));
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_CURRENT_USER, "software\\NoSuchKey"));
}

TEST(RegistryAccess, WritesExactBytesIncludingEmptyAndDeletes) {
    RegistrySandbox sandbox;
    win::UniqueKey run = OpenRun();
    RegistryAccess access;
    const RegValueBlob abc(REG_SZ, "abc", 4);
    ASSERT_EQ(0, access.WriteValue(run.Get(), "abc", &abc));
    const RegValueBlob empty(REG_BINARY, "", 0);
    ASSERT_EQ(0, access.WriteValue(run.Get(), "empty", &empty));

    const auto readAbc = RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "abc");
    ASSERT_TRUE(readAbc);
    EXPECT_EQ((std::vector<BYTE>{'a', 'b', 'c', 0}), readAbc->bytes);
    const auto readEmpty = RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "empty");
    ASSERT_TRUE(readEmpty);
    EXPECT_EQ(0u, readEmpty->count());
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), readEmpty->type);

    EXPECT_EQ(0, access.DeleteValue(run.Get(), "abc"));
    EXPECT_NE(0, access.DeleteValue(run.Get(), "abc"));
    EXPECT_FALSE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "abc"));
}

TEST(RegValueBlob, CopiesOwnTheirBytes) {
    RegValueBlob original(REG_SZ, "abc", 4);
    {
        RegValueBlob copy = original;
        copy.bytes[0] = 'z';
        RegValueBlob assigned;
        assigned = copy;
        EXPECT_EQ('z', assigned.bytes[0]);
    }
    EXPECT_EQ((std::vector<BYTE>{'a', 'b', 'c', 0}), original.bytes);
    EXPECT_EQ(0u, RegValueBlob(REG_BINARY, nullptr, 0).count());
}

TEST(RegistrySandbox, RedirectsBothHivesAndCarriesUtf8Names) {
    const char* name = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x9C\x93";  // Cyrillic and a check mark
    std::string realMachinePath;
    // A real subkey handle opened before the redirection stays the real key.
    win::UniqueKey realSoftware;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, realSoftware.Put()));
    {
        RegistrySandbox sandbox;
        realMachinePath = sandbox.RealPath(HKEY_LOCAL_MACHINE, keys::kRun);
        RegistrySandbox::PutText(HKEY_LOCAL_MACHINE, keys::kRun, name, "C:\\\xC3\xA9t\xC3\xA9.exe");
        // The value landed in the scratch key, not the real machine key.
        win::UniqueKey real;
        ASSERT_EQ(0, RegOpenKeyExA(realSoftware.Get(), realMachinePath.c_str() + 9, 0, KEY_READ, real.Put()))
            << "the sandbox did not redirect";
        const auto back = RegistrySandbox::Get(HKEY_LOCAL_MACHINE, keys::kRun, name);
        ASSERT_TRUE(back) << "a UTF-8 name did not round-trip";
        EXPECT_STREQ("C:\\\xC3\xA9t\xC3\xA9.exe", reinterpret_cast<const char*>(back->bytes.data()));
        EXPECT_EQ(std::vector<std::string>{name}, RegistrySandbox::ValueNames(HKEY_LOCAL_MACHINE, keys::kRun));
    }
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_CURRENT_USER, realMachinePath.c_str()));  // cleaned up
}

}  // namespace
