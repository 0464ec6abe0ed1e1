#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "win/Scoped.h"

namespace {

using namespace enginetest;

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

RegValueBlob Bytes(DWORD type, const std::string& bytes) {
    return RegValueBlob(type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Every kind of value a Run key may hold, in both hives.
void FillRunKeys() {
    const std::string name254(254, 'n');
    const std::string name255(255, 'm');
    auto user = [](const std::string& name, const RegValueBlob& value) {
        RegistrySandbox::Put(kUser, keys::kRun, name.c_str(), value);
    };
    user("sz", RegistrySandbox::Text("C:\\Apps\\sz.exe -a"));
    user("expand", RegistrySandbox::Text("\"%ProgramFiles%\\App\\app.exe\" /tray", REG_EXPAND_SZ));
    user("multi", Bytes(REG_MULTI_SZ, std::string("C:\\m.exe\0second\0\0", 18)));
    user("dword", RegistrySandbox::Dword(1));
    user("binary", Bytes(REG_BINARY, std::string("\x10\x20\0\x30", 4)));
    user("empty", Bytes(REG_SZ, ""));
    user("command254", RegistrySandbox::Text(std::string(254, 'c')));
    user("bytes511", RegistrySandbox::Text(std::string(510, 'a')));
    user("bytes512", RegistrySandbox::Text(std::string(511, 'b')));
    user("bytes513", RegistrySandbox::Text(std::string(512, 'c')));
    user("big", Bytes(REG_BINARY, std::string(5000, '\x7f')));
    user(name254, RegistrySandbox::Text("C:\\n254.exe"));
    user(name255, RegistrySandbox::Text("C:\\m255.exe"));
    user("", RegistrySandbox::Text("C:\\default.exe"));
    user("Ünïcødé ✓ 名前", RegistrySandbox::Text("\"C:\\Prögram Fïles\\ü.exe\" -ß ✓"));
    user("quotes \"%\"", RegistrySandbox::Text("\"C:\\A B\\q.exe\" \"%1\" 100% %PATH%"));
    user("pacewick", RegistrySandbox::Text("case variant of the program's own name"));
    user("shared", RegistrySandbox::Text("C:\\user\\shared.exe"));
    RegistrySandbox::PutText(kMachine, keys::kRun, "Pacewick", "\"C:\\Program Files\\Pacewick\\pacewick.exe\"");
    RegistrySandbox::PutText(kMachine, keys::kRun, "shared", "C:\\machine\\shared.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, "machine", "C:\\machine\\m.exe", REG_EXPAND_SZ);
    RegistrySandbox::PutText(kMachine, keys::kRun, "machine long", std::string(3000, 'L'));
    user("twin", RegistrySandbox::Text("C:\\twin.exe"));
    RegistrySandbox::PutText(kMachine, keys::kRun, "twin", std::string(600, 'T'));
}

TEST(TakeOver, AndRestoreLeaveBothRunKeysExactlyAsTheyWere) {
    RegistrySandbox sandbox;
    FillRunKeys();
    const Snapshot userRun = Take(kUser, keys::kRun);
    const Snapshot machineRun = Take(kMachine, keys::kRun);
    ASSERT_EQ(19u, userRun.size());
    CStartupManager& manager = Manager();

    const std::string output = OutputOf([&] { manager.TakeOver(); });

    // Every value but the program's own is backed up, exactly.
    Snapshot userCopies = userRun;
    EXPECT_EQ(userCopies, Take(kUser, keys::kBackUp));
    Snapshot machineCopies = machineRun;
    machineCopies.erase("Pacewick");
    EXPECT_EQ(machineCopies, Take(kMachine, keys::kBackUp));

    // What the list cannot launch whole stays for Windows to start; the rest is gone.
    EXPECT_EQ((std::vector<std::string>{"big", "bytes511", "bytes512", "bytes513", std::string(255, 'm')}),
              NamesOf(Take(kUser, keys::kRun)));
    EXPECT_EQ((std::vector<std::string>{"Pacewick", "machine long", "twin"}), NamesOf(Take(kMachine, keys::kRun)));
    EXPECT_EQ(machineRun.at("Pacewick"), Take(kMachine, keys::kRun).at("Pacewick"));
    // "pacewick" from the user's key names the machine's own value too (names
    // ignore case), yet the machine BackUp key holds no copy of it: kept.
    EXPECT_EQ(1, CountOf(output, "Reg entry kept, no identical copy to keep it: pacewick\n")) << output;
    // "twin" is listed from the user's key; the machine's own "twin" could not be
    // listed, so Windows must go on starting it.
    EXPECT_EQ(1, CountOf(output, "Reg entry kept, it cannot be listed: twin\n")) << output;

    // A second take-over finds nothing new and loses nothing.
    manager.TakeOver();
    EXPECT_EQ(userCopies, Take(kUser, keys::kBackUp));
    EXPECT_EQ(machineCopies, Take(kMachine, keys::kBackUp));

    EXPECT_TRUE(manager.RestoreAll());
    EXPECT_EQ(userRun, Take(kUser, keys::kRun));
    EXPECT_EQ(machineRun, Take(kMachine, keys::kRun));
    // The listed names are gone from the BackUp keys; the unlisted copies stay,
    // identical to their Run values.
    EXPECT_EQ((std::vector<std::string>{"big", "bytes511", "bytes512", "bytes513", std::string(255, 'm')}),
              NamesOf(Take(kUser, keys::kBackUp)));
    EXPECT_EQ((std::vector<std::string>{"machine long"}), NamesOf(Take(kMachine, keys::kBackUp)));
    EXPECT_FALSE(manager.List().Empty());  // restore leaves the list filled
}

TEST(TakeOver, ListsEntriesInOrderWithLabelsAndCompanies) {
    RegistrySandbox sandbox;
    TempDir temp;
    const std::string tool = temp.File("tool.exe");
    const std::string anonymous = temp.File("anonymous.exe");
    ASSERT_TRUE(CopyFileA((FixtureDir() + "\\ver_en_us.dll").c_str(), tool.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((FixtureDir() + "\\ver_nocompany.dll").c_str(), anonymous.c_str(), FALSE));
    RegistrySandbox::PutText(kUser, keys::kRun, "Tool", "\"" + tool + "\" -min");
    RegistrySandbox::PutText(kUser, keys::kRun, "NoFile", "C:\\nowhere\\nofile.exe /s");
    RegistrySandbox::PutText(kUser, keys::kRun, "Both", "\"" + tool + "\"");
    RegistrySandbox::PutText(kMachine, keys::kRun, "Both", "C:\\machine\\both.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, "anonymous", anonymous);
    RegistrySandbox::PutText(kMachine, keys::kRun, "TOOL", "C:\\machine\\TOOL.exe");
    RegistrySandbox::PutText(kMachine, keys::kBackUp, "earlier", "C:\\earlier.exe");  // from an earlier run
    CStartupManager& manager = Manager();

    manager.TakeOver();

    // Machine entries first, each key's last enumerated value first; a name in
    // both keys is listed once, from the user's key.
    std::vector<std::string> expected;
    for (const std::string& name : RegistrySandbox::ValueNames(kUser, keys::kBackUp))
        expected.insert(expected.begin(), name);
    for (const std::string& name : RegistrySandbox::ValueNames(kMachine, keys::kBackUp))
        if (name != "Both") expected.insert(expected.begin(), name);
    const EntryList list = manager.CopyList();
    EXPECT_EQ(expected, Names(list));
    ASSERT_EQ(6u, list.Count());

    struct Row {
        const char* name;
        const char* company;
        const char* originLabel;
    };
    for (const Row& row :
         {Row{"Tool", "Company 0409", origin::kCurrentUser}, Row{"NoFile", "Unknown", origin::kCurrentUser},
          Row{"Both", "Company 0409", origin::kBoth}, Row{"anonymous", "Unknown", origin::kAllUsers},
          Row{"TOOL", "Unknown", origin::kAllUsers}, Row{"earlier", "Unknown", origin::kAllUsers}}) {
        const StartupEntry* entry = Find(list, row.name);
        ASSERT_TRUE(entry) << row.name;
        EXPECT_STREQ(row.company, entry->company) << row.name;
        EXPECT_STREQ(row.originLabel, entry->origin) << row.name;
    }
    EXPECT_EQ("\"" + tool + "\" -min", std::string(Find(list, "Tool")->command));
    EXPECT_EQ("\"" + tool + "\"", std::string(Find(list, "Both")->command));
    EXPECT_TRUE(Take(kUser, keys::kRun).empty());
    EXPECT_TRUE(Take(kMachine, keys::kRun).empty());

    // A program replaced by another build, even one of the same size and write
    // time, shows the new build's company at the next rebuild.
    for (const auto& [file, replacement] :
         {std::pair{tool, "ver_nocompany.dll"}, std::pair{anonymous, "ver_en_us.dll"}}) {
        WIN32_FILE_ATTRIBUTE_DATA before;
        ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &before));
        ASSERT_TRUE(CopyFileA((FixtureDir() + "\\" + replacement).c_str(), file.c_str(), FALSE));
        win::UniqueHandle handle(
            CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(handle.Get(), nullptr, nullptr, &before.ftLastWriteTime));
        WIN32_FILE_ATTRIBUTE_DATA after;
        ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &after));
        ASSERT_EQ(before.nFileSizeLow, after.nFileSizeLow);
    }
    manager.RebuildList(manager.List());
    EXPECT_STREQ("Unknown", Find(manager.List(), "Tool")->company);
    EXPECT_STREQ("Company 0409", Find(manager.List(), "anonymous")->company);
}

TEST(TakeOver, KeepsRunValuesThatHaveNoIdenticalBackUp) {
    RegistrySandbox sandbox(RegistrySandbox::Keys{true, true, false, true, true});  // no machine BackUp key
    RegistrySandbox::PutText(kUser, keys::kRun, "user", "C:\\user.exe");
    RegistrySandbox::PutText(kUser, keys::kRun, "same", "C:\\user\\same.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, "same", "C:\\machine\\same.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, "machine", "C:\\machine.exe");
    const Snapshot machineRun = Take(kMachine, keys::kRun);
    CStartupManager& manager = Manager();

    manager.TakeOver();
    // The machine hive has nowhere to keep a copy: its Run key keeps every value,
    // even "same", which is listed from the user's key.
    EXPECT_EQ(machineRun, Take(kMachine, keys::kRun));
    EXPECT_TRUE(Take(kUser, keys::kRun).empty());
    EXPECT_EQ((std::vector<std::string>{"same", "user"}), NamesOf(Take(kUser, keys::kBackUp)));

    // A program that rewrites its value after the back-up keeps its new value.
    RegistrySandbox::PutText(kUser, keys::kRun, "moving", "C:\\v1.exe");
    manager.BackUpRunKeys();
    manager.RebuildList(manager.List());
    RegistrySandbox::PutText(kUser, keys::kRun, "moving", "C:\\v2.exe");
    const std::string output = OutputOf([&] { EXPECT_EQ(1, manager.RemoveListedFromRun(manager.CopyList())); });
    EXPECT_EQ(RegistrySandbox::Text("C:\\v2.exe"), RegistrySandbox::Get(kUser, keys::kRun, "moving"));
    EXPECT_EQ(1, CountOf(output, "Reg entry kept, no identical copy to keep it: moving\n")) << output;
    manager.TakeOver();  // the next take-over takes the new value over
    EXPECT_FALSE(RegistrySandbox::Get(kUser, keys::kRun, "moving"));
    EXPECT_EQ(RegistrySandbox::Text("C:\\v2.exe"), RegistrySandbox::Get(kUser, keys::kBackUp, "moving"));

    // Restore brings the user's values back and empties the user's BackUp key.
    manager.RestoreAll();
    EXPECT_EQ((std::vector<std::string>{"moving", "same", "user"}), NamesOf(Take(kUser, keys::kRun)));
    EXPECT_TRUE(Take(kUser, keys::kBackUp).empty());
    EXPECT_EQ(machineRun, Take(kMachine, keys::kRun));
}

TEST(RestoreAll, KeepsBackUpValuesItCouldNotPutBack) {
    RegistrySandbox sandbox;
    RegistrySandbox::PutText(kUser, keys::kRun, "user", "C:\\user.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, "machine", "C:\\machine.exe");
    CStartupManager& manager = Manager();
    manager.TakeOver();
    ASSERT_TRUE(Take(kMachine, keys::kRun).empty());

    RegistrySandbox::Remove(kMachine, keys::kRun);  // the machine Run key cannot be opened
    const std::string output = OutputOf([&] { EXPECT_TRUE(manager.RestoreAll()); });
    EXPECT_EQ(RegistrySandbox::Text("C:\\machine.exe"), RegistrySandbox::Get(kMachine, keys::kBackUp, "machine"));
    EXPECT_EQ(RegistrySandbox::Text("C:\\user.exe"), RegistrySandbox::Get(kUser, keys::kRun, "user"));
    EXPECT_FALSE(RegistrySandbox::Get(kUser, keys::kBackUp, "user"));
    EXPECT_EQ(1, CountOf(output, "Reg entry kept, no identical copy to keep it: machine\n")) << output;
    // Each name is tried in both BackUp keys, and is missing from the other one.
    EXPECT_EQ(2, CountOf(output, "Reg entry delete UNSUCCESSFULL!!\n")) << output;
}

TEST(StartupManager, RegistersItselfAndDeletesSingleBackUpEntries) {
    RegistrySandbox sandbox(RegistrySandbox::Keys{true, true, false, true, true});
    CStartupManager& manager = Manager();
    const std::string self = "\"C:\\Program Files\\Pacewick\\pacewick.exe\"";
    EXPECT_EQ("Reg entry put SUCCESSFULLY!!\n", OutputOf([&] { EXPECT_EQ(1, manager.RegisterSelf("old")); }));
    EXPECT_EQ(1, manager.RegisterSelf(self.c_str()));
    EXPECT_EQ(RegistrySandbox::Text(self), RegistrySandbox::Get(kMachine, keys::kRun, "Pacewick"));
    EXPECT_EQ(1u, Take(kMachine, keys::kRun).size());

    RegistrySandbox::PutText(kUser, keys::kBackUp, "entry", "C:\\entry.exe");
    LONG result = -1;
    EXPECT_EQ("Reg entry deleted SUCCESSFULLY!!\n", OutputOf([&] { result = manager.DeleteBackupEntry("entry", 0); }));
    EXPECT_EQ(1, result);
    EXPECT_FALSE(RegistrySandbox::Get(kUser, keys::kBackUp, "entry"));
    EXPECT_EQ("Reg entry delete UNSUCCESSFULL!!\n", OutputOf([&] { result = manager.DeleteBackupEntry("entry", 0); }));
    EXPECT_EQ(0, result);
    EXPECT_EQ("", OutputOf([&] { result = manager.DeleteBackupEntry("entry", 1); }));  // no machine BackUp key
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
    EXPECT_EQ(2, manager.DeleteBackupEntry("entry", 2));

    RegistrySandbox::Remove(kMachine, keys::kRun);
    EXPECT_EQ("", OutputOf([&] { EXPECT_EQ(0, manager.RegisterSelf(self.c_str())); }));
}

TEST(StartupManager, OperationsDoNotLeakKeyHandles) {
    RegistrySandbox sandbox;
    RegistrySandbox::PutText(kUser, keys::kRun, "user", "C:\\user.exe");
    CStartupManager& manager = Manager();
    manager.TakeOver();
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    OutputOf([&] {
        for (int round = 0; round < 50; ++round) {
            manager.TakeOver();
            manager.RegisterSelf("self");
            manager.DeleteBackupEntry("none", 0);
        }
    });
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_LE(after, before + 4) << "handles before " << before << ", after " << after;
}

}  // namespace
