// A Startup item's rights and streams go with it, or it stays and a line says why (in-memory store: lists::ExtrasHook).
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <tuple>

#include "EventRecorder.h"
#include "FolderTestSupport.h"
#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "lists/ItemExtras.h"
#include "lists/StartupFolder.h"
#include "win/Text.h"

namespace {

using namespace foldertest;
using lists::ItemExtras;
using lists::StartupFolderSource;

// Rights and streams by file (volume and file index: a rename keeps them).
class MemoryExtras : public lists::ExtrasStore {
public:
    bool failWrites = false;

    bool Read(HANDLE file, ItemExtras* extras) const override {
        const auto found = kept_.find(Id(file));
        *extras = found == kept_.end() ? ItemExtras() : found->second;
        return true;
    }
    bool WriteStreams(HANDLE file, const std::wstring&, const std::vector<lists::NamedStream>& streams) const override {
        return !failWrites && (kept_[Id(file)].streams = streams, true);
    }
    bool WriteRights(HANDLE file, const lists::OwnRights& rights) const override {
        return !failWrites && (kept_[Id(file)].rights = rights, true);
    }

    void Put(const std::wstring& path, const ItemExtras& extras) { kept_[Id(Opened(path).Get())] = extras; }
    ItemExtras Of(const std::wstring& path) const {
        ItemExtras extras;
        Read(Opened(path).Get(), &extras);
        return extras;
    }

private:
    using FileId = std::tuple<DWORD, DWORD, DWORD>;
    static FileId Id(HANDLE file) {
        BY_HANDLE_FILE_INFORMATION info{};
        GetFileInformationByHandle(file, &info);
        return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    }
    static win::UniqueHandle Opened(const std::wstring& path) {
        return win::UniqueHandle(CreateFileW(lists::LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    }
    mutable std::map<FileId, ItemExtras> kept_;
};

// Puts a test's store in place for its life.
struct StoreInPlace {
    MemoryExtras store;
    const lists::ExtrasStore* original = lists::ExtrasHook().exchange(&store);
    ~StoreInPlace() { lists::ExtrasHook() = original; }
};

lists::OwnRights RightsOf(const wchar_t* sddl) {
    win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>> descriptor;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ACL_SIZE_INFORMATION size{};
    lists::OwnRights rights;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.Put(), nullptr) ||
        !GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) ||
        !GetSecurityDescriptorControl(descriptor.Get(), &control, &revision) ||
        !GetAclInformation(dacl, &size, sizeof size, AclSizeInformation))
        return rights;
    const BYTE* aces = reinterpret_cast<const BYTE*>(dacl) + sizeof(ACL);
    rights = {true, (control & SE_DACL_PROTECTED) != 0, {aces, aces + size.AclBytesInUse - sizeof(ACL)}};
    return rights;
}

// An all-users item readable by one group only, downloaded from the Internet.
ItemExtras Downloaded() {
    return {RightsOf(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;S-1-5-21-7-8-9-1107)"),
            {{L":Zone.Identifier:$DATA", "[ZoneTransfer]\r\nZoneId=3\r\n"}}};
}

std::wstring ItemIn(const std::wstring& folder) { return folder + L"\\Setup Helper.exe"; }

TEST(ItemExtras, AHeldAndARestoredItemKeepTheirOwnRightsAndStreams) {
    RegistrySandbox sandbox;
    StoreInPlace test;
    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    for (const auto scope : {lists::Scope::User, lists::Scope::Machine}) {
        Scratch scratch(L"extras");
        WriteItem(ItemIn(scratch.startup), "MZ helper", 1, 2, FILE_ATTRIBUTE_READONLY);
        WriteItem(scratch.startup + L"\\Plain.bat", "@echo plain", 3, 4, 0);
        test.store.Put(ItemIn(scratch.startup), Downloaded());
        test.store.Put(scratch.startup + L"\\Plain.bat", ItemExtras());  // whatever a file of its id had
        const Image items = ImageOf(scratch.startup);
        const bool user = scope == lists::Scope::User;
        StartupFolderSource source(scope, user ? Origin::UserFolder : Origin::AllUsersFolder, scratch.startup,
                                   scratch.backUp, user ? kUser : kMachine);
        EntryList moved;
        source.MoveIn(moved, ListBit(3), report, nullptr);
        EXPECT_EQ(2u, moved.Count());
        EXPECT_EQ(items, ImageOf(scratch.backUp));
        EXPECT_TRUE(test.store.Of(ItemIn(scratch.backUp)) == Downloaded());
        EXPECT_TRUE(test.store.Of(scratch.backUp + L"\\Plain.bat") == ItemExtras());

        EXPECT_TRUE(source.Restore(report));
        EXPECT_EQ(items, ImageOf(scratch.startup));
        EXPECT_EQ(Image(), ImageOf(scratch.backUp));
        EXPECT_TRUE(test.store.Of(ItemIn(scratch.startup)) == Downloaded());
    }
}

// A copy that cannot keep them leaves the item and says why; one that differs in them is no copy.
TEST(ItemExtras, WhatNoCopyKeepsStaysWithALineAndDiffersFromItsCopy) {
    RegistrySandbox sandbox;
    StoreInPlace test;
    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    Scratch scratch(L"extras-kept");
    WriteItem(ItemIn(scratch.startup), "MZ helper", 1, 2, 0);
    test.store.Put(ItemIn(scratch.startup), Downloaded());
    const Image item = ImageOf(scratch.startup);
    StartupFolderSource source(lists::Scope::User, Origin::UserFolder, scratch.startup, scratch.backUp, kUser);
    const auto kept = [](ItemPlace place, const char* why) {
        return Recorded{ItemHappened::Kept, place, ItemKind::File, "Setup Helper.exe", why};
    };
    const char* noCopy = "its own rights or named streams cannot be kept in a copy";

    EntryList moved;
    test.store.failWrites = true;
    source.MoveIn(moved, ListBit(3), report, nullptr);
    EXPECT_EQ(std::vector<Recorded>{kept(ItemPlace::StartUp, noCopy)}, recorder.Take());
    EXPECT_EQ(0u, moved.Count());
    EXPECT_EQ(item, ImageOf(scratch.startup));
    EXPECT_EQ(Image(), ImageOf(scratch.backUp));
    EXPECT_EQ(Image(), ImageOf(scratch.backUp + L"\\" + lists::kCopyingFolder));

    // Held, then its rights changed in Startup: the copy differs, so it stays; with no copy possible it stays held.
    test.store.failWrites = false;
    source.BackUp(report);
    const std::wstring held = ItemIn(scratch.backUp);
    const auto identical = [&] {
        const win::UniqueHandle one = lists::OpenFileHandle(ItemIn(scratch.startup)),
                                other = lists::OpenFileHandle(held);
        return lists::Identical(one.Get(), other.Get());
    };
    EXPECT_TRUE(identical());
    for (const auto& change : {ItemExtras{RightsOf(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)"),
                                          Downloaded().streams},
                               ItemExtras{RightsOf(L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;S-1-5-21-7-8-9-1107)"),
                                          Downloaded().streams},
                               ItemExtras{Downloaded().rights, {{L":Zone.Identifier:$DATA", "[ZoneTransfer]"}}},
                               ItemExtras{Downloaded().rights, {}}}) {
        test.store.Put(ItemIn(scratch.startup), change);
        EXPECT_FALSE(identical());
    }
    EntryList listed;
    source.ListHeld(listed, ListBit(3), report);
    recorder.Take();
    source.RemoveHeld(listed, ListBit(3), report);
    EXPECT_EQ(std::vector<Recorded>{kept(ItemPlace::StartUp, "no identical copy holds it")}, recorder.Take());
    EXPECT_EQ(item, ImageOf(scratch.startup));

    DeleteFileW(lists::LongPath(ItemIn(scratch.startup)).c_str());
    test.store.failWrites = true;
    EXPECT_FALSE(source.Restore(report));
    const std::vector<Recorded> restored = recorder.Take();
    ASSERT_FALSE(restored.empty());
    EXPECT_EQ(kept(ItemPlace::Held, noCopy), restored.front());
    EXPECT_EQ(item, ImageOf(scratch.backUp));
    EXPECT_EQ(Image(), ImageOf(scratch.startup));
}

// Wine lists no stream and keeps no DACL: read as "no stream", an unreadable DACL fails, only named streams open.
TEST(ItemExtras, TheFileSystemsStoreTellsNoStreamsFromAFailedRead) {
    Scratch scratch(L"extras-real");
    const std::wstring path = scratch.startup + L"\\Plain.exe";
    WriteItem(path, "MZ plain", 1, 2, 0);
    const lists::ExtrasStore& real = lists::FileSystemExtras();
    ItemExtras extras;
    const win::UniqueHandle item = lists::OpenFileHandle(path);
    ASSERT_TRUE(real.Read(item.Get(), &extras));
    EXPECT_TRUE(extras.streams.empty());
    const win::UniqueHandle unreadable(CreateFileW(lists::LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(real.Read(unreadable.Get(), &extras));

    for (const wchar_t* name : {L":Zone.Identifier:$DATA", L":x:$DATA"}) EXPECT_TRUE(lists::IsStreamName(name));
    for (const wchar_t* name : {L"::$DATA", L":$DATA", L"Zone.Identifier:$DATA", L":..\\..\\Run.exe:$DATA",
                                L":a/b:$DATA", L":a:b:$DATA", L":Zone.Identifier", L":a:$DATA\\x"})
        EXPECT_FALSE(lists::IsStreamName(name)) << win::Utf8ForDisplay(name);
    EXPECT_FALSE(lists::IsStreamName(std::wstring(L":a\0b:$DATA", 10)));
    EXPECT_FALSE(real.WriteStreams(nullptr, lists::LongPath(path), {{L":..\\Other.exe:$DATA", "x"}}));
    EXPECT_EQ(1u, ImageOf(scratch.startup).size());
}

}  // namespace
