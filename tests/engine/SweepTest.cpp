#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "win/Scoped.h"

namespace {

using namespace enginetest;

win::UniqueKey Open(HKEY hive, const char* path) {
    win::UniqueKey key;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(hive, path, 0, KEY_ALL_ACCESS, key.Put()));
    return key;
}

std::string WindowsDirectory() {
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, MAX_PATH);
    return directory;
}

TEST(ProgramPathFromCommand, DerivesThePathOfEveryKindOfCommand) {
    struct Row {
        std::string command;
        std::string path;
    };
    const std::vector<Row> rows = {
        {"\"C:\\Program Files\\App\\app.exe\" -min", "C:\\Program Files\\App\\app.exe"},
        {"C:\\Tools\\tool.exe /s", "C:\\Tools\\tool.exe"},
        {"\"C:\\Program Files\\App\\app\" -x", "C:\\Program Files\\App\\app.exe"},
        {"rundll32 shell32.dll,Control_RunDLL", "rundll32.exe"},
        {"%systemroot%\\system32\\svcmon", WindowsDirectory() + "\\system32\\svcmon.exe"},
        {"C:\\PROGRA~1\\APP\\APP.EXE /s", "C:\\PROGRA~1\\APP\\APP.EXE.exe"},
        {"\"%systemroot%\\app.exe\"", "%systemroot%\\app.exe"},
        {"C:\\exec\\tool.com -x", "C:\\exe"},
        // The replacement matches the lower-case spelling only, and every occurrence.
        {"%SystemRoot%\\svcmon", "%SystemRoot%\\svcmon.exe"},
        {"%systemroot%\\a;%systemroot%\\b", WindowsDirectory() + "\\a;" + WindowsDirectory() + "\\b.exe"},
        {"", ".exe"},
        {"\"unclosed path", "unclosed path.exe"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.path, CStartupManager::ProgramPathFromCommand(row.command)) << row.command;
}

TEST(ReadValueText, GivesTheTextBeforeTheFirstZeroByteOrNothing) {
    RegistrySandbox sandbox;
    const char* run = keys::kRun;
    RegistrySandbox::PutText(HKEY_CURRENT_USER, run, "expand", "%windir%\\x.exe", REG_EXPAND_SZ);
    RegistrySandbox::Put(HKEY_CURRENT_USER, run, "multi", RegValueBlob(REG_MULTI_SZ, "one\0two\0", 9));
    RegistrySandbox::Put(HKEY_CURRENT_USER, run, "dword", RegistrySandbox::Dword(1));
    RegistrySandbox::Put(HKEY_CURRENT_USER, run, "full", RegValueBlob(REG_BINARY, std::string(512, 'z').c_str(), 512));
    RegistrySandbox::PutText(HKEY_CURRENT_USER, run, "long", std::string(512, 'l'));
    win::UniqueKey key = Open(HKEY_CURRENT_USER, run);
    CStartupManager& manager = Manager();

    EXPECT_EQ("%windir%\\x.exe", manager.ReadValueText(key.Get(), "expand"));  // not expanded
    EXPECT_EQ("one", manager.ReadValueText(key.Get(), "multi"));
    EXPECT_EQ("\x01", manager.ReadValueText(key.Get(), "dword"));
    // 512 bytes without any zero byte: read whole, never past the data.
    EXPECT_EQ(std::string(512, 'z'), manager.ReadValueText(key.Get(), "full"));
    std::string text = "x";
    EXPECT_EQ("Reg entry put UNSUCCESSFUL!!\n", OutputOf([&] { text = manager.ReadValueText(key.Get(), "long"); }));
    EXPECT_EQ("", text);
    EXPECT_EQ("Reg entry put UNSUCCESSFUL!!\n", OutputOf([&] { text = manager.ReadValueText(key.Get(), "none"); }));
    EXPECT_EQ("", text);
}

TEST(PutOrDeleteValue, WritesTextAsRegSzAndReportsEveryOutcome) {
    RegistrySandbox sandbox;
    win::UniqueKey key = Open(HKEY_CURRENT_USER, keys::kBackUp);
    CStartupManager& manager = Manager();

    int result = -1;
    EXPECT_EQ("Reg entry put SUCCESSFULLY!!\n",
              OutputOf([&] { result = manager.PutOrDeleteValue(key.Get(), 1, "v", "\"C:\\a b\\v.exe\" %1"); }));
    EXPECT_EQ(1, result);
    EXPECT_EQ(RegistrySandbox::Text("\"C:\\a b\\v.exe\" %1"),
              RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kBackUp, "v"));
    EXPECT_EQ(1, manager.PutOrDeleteValue(key.Get(), 1, "v", ""));  // replaced
    EXPECT_EQ(RegistrySandbox::Text(""), RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kBackUp, "v"));

    EXPECT_EQ("Reg entry deleted SUCCESSFULLY!!\n",
              OutputOf([&] { result = manager.PutOrDeleteValue(key.Get(), 0, "v", "ignored"); }));
    EXPECT_EQ(1, result);
    EXPECT_FALSE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kBackUp, "v"));
    EXPECT_EQ("Reg entry delete UNSUCCESSFULL!!\n",
              OutputOf([&] { result = manager.PutOrDeleteValue(key.Get(), 0, "v", nullptr); }));
    EXPECT_EQ(0, result);

    // Through a read-only handle the write fails and says so.
    win::UniqueKey readOnly;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, keys::kBackUp, 0, KEY_READ, readOnly.Put()));
    EXPECT_EQ("Reg entry put UNSUCCESSFUL!!\n",
              OutputOf([&] { result = manager.PutOrDeleteValue(readOnly.Get(), 1, "w", "x"); }));
    EXPECT_EQ(0, result);
}

TEST(SweepKey, BackUpCopiesEveryValueExactlyButTheProgramsOwn) {
    RegistrySandbox sandbox;
    const HKEY hive = HKEY_LOCAL_MACHINE;
    RegistrySandbox::PutText(hive, keys::kRun, "Pacewick", "\"C:\\Pacewick\\pacewick.exe\"");
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kRun, "PACEWICK", "other hive");
    RegistrySandbox::PutText(hive, keys::kRun, "expand", "%ProgramFiles%\\a.exe", REG_EXPAND_SZ);
    RegistrySandbox::PutText(hive, keys::kRun, "long", std::string(700, 'q'));
    RegistrySandbox::PutText(hive, keys::kBackUp, "expand", "older command");
    RegistrySandbox::PutText(hive, keys::kBackUp, "earlier", "C:\\earlier.exe");
    RegistrySandbox::Create(hive, (std::string(keys::kRun) + "\\Sub").c_str());
    const Snapshot run = Take(hive, keys::kRun);
    win::UniqueKey source = Open(hive, keys::kRun);
    win::UniqueKey backUp = Open(hive, keys::kBackUp);
    CStartupManager& manager = Manager();

    const std::string output = OutputOf([&] { manager.SweepKey(source.Get(), nullptr, 0, 1, backUp.Get()); });
    EXPECT_NE(std::string::npos, output.find("\nNumber of subkeys: 1\n(1) Sub\n")) << output;
    EXPECT_NE(std::string::npos, output.find("\nNumber of values: 3\n(1) ")) << output;
    EXPECT_EQ(1, CountOf(output, ") long (null)\n")) << output;
    EXPECT_EQ(2, CountOf(output, "Reg entry put SUCCESSFULLY!!\n")) << output;

    const Snapshot copied = Take(hive, keys::kBackUp);
    EXPECT_EQ((std::vector<std::string>{"earlier", "expand", "long"}), NamesOf(copied));
    EXPECT_EQ(run.at("expand"), copied.at("expand"));  // still REG_EXPAND_SZ, the older copy replaced
    EXPECT_EQ(run.at("long"), copied.at("long"));      // 701 bytes, whole
    EXPECT_EQ(run, Take(hive, keys::kRun));            // the source is only read
    EXPECT_TRUE(RegistrySandbox::Exists(hive, (std::string(keys::kRun) + "\\Sub").c_str()));

    // Only the exact name is the program's own: a case variant is copied.
    win::UniqueKey userRun = Open(HKEY_CURRENT_USER, keys::kRun);
    win::UniqueKey userBackUp = Open(HKEY_CURRENT_USER, keys::kBackUp);
    manager.SweepKey(userRun.Get(), nullptr, 0, 1, userBackUp.Get());
    EXPECT_EQ((std::vector<std::string>{"PACEWICK"}), NamesOf(Take(HKEY_CURRENT_USER, keys::kBackUp)));

    // A key without values prints nothing at all.
    win::UniqueKey empty = Open(HKEY_CURRENT_USER, keys::kConfig);
    EXPECT_EQ("", OutputOf([&] { manager.SweepKey(empty.Get(), nullptr, 0, 1, backUp.Get()); }));
}

TEST(SweepKey, ListModeLabelsEntriesAndLeavesOutWhatCannotBeListedWhole) {
    RegistrySandbox sandbox;
    const HKEY hive = HKEY_CURRENT_USER;
    const std::string name254(254, 'n');
    const std::string name255(255, 'm');
    RegistrySandbox::PutText(hive, keys::kBackUp, "first", "\"C:\\Program Files\\A\\a.exe\" -min");
    RegistrySandbox::PutText(hive, keys::kBackUp, name254.c_str(), std::string(254, 'c'));
    RegistrySandbox::PutText(hive, keys::kBackUp, name255.c_str(), "C:\\m.exe");
    RegistrySandbox::PutText(hive, keys::kBackUp, "command255", std::string(255, 'c'));
    RegistrySandbox::PutText(hive, keys::kBackUp, "unreadable", std::string(600, 'u'));
    RegistrySandbox::PutText(hive, keys::kBackUp, "last", "%SystemRoot%\\x.exe", REG_EXPAND_SZ);
    win::UniqueKey key = Open(hive, keys::kBackUp);
    CStartupManager& manager = Manager();
    EntryList& list = manager.List();

    const std::string output = OutputOf([&] { manager.SweepKey(key.Get(), &list, 1, 0, nullptr); });
    EXPECT_EQ(1, CountOf(output, "Entry not listed, its name or command is too long: " + name255 + "\n")) << output;
    EXPECT_EQ(1, CountOf(output, "Entry not listed, its name or command is too long: command255\n")) << output;
    EXPECT_EQ(1,
              CountOf(output,
                      "Reg entry put UNSUCCESSFUL!!\nEntry not listed, its data cannot be read as text: unreadable\n"));
    EXPECT_EQ(0, CountOf(output, "Reg entry put SUCCESSFULLY")) << "list mode copies nothing";

    // The list reads in the reverse of the enumeration order.
    std::vector<std::string> expected;
    for (const std::string& name : RegistrySandbox::ValueNames(hive, keys::kBackUp))
        if (name == "first" || name == "last" || name == name254) expected.insert(expected.begin(), name);
    EXPECT_EQ(expected, Names(list));
    for (const StartupEntry& entry : list) {
        EXPECT_STREQ(origin::kCurrentUser, entry.origin);
        EXPECT_STREQ("Unknown", entry.company);
    }
    EXPECT_STREQ("\"C:\\Program Files\\A\\a.exe\" -min", Find(list, "first")->command);  // as read
    EXPECT_STREQ("%SystemRoot%\\x.exe", Find(list, "last")->command);
    EXPECT_EQ(std::string(254, 'c'), std::string(Find(list, name254)->command));

    // Any selector but 1 labels the entries as the machine's; names already listed
    // are relabelled instead of listed twice.
    list.Clear();
    manager.SweepKey(key.Get(), &list, 2, 0, nullptr);
    EXPECT_STREQ(origin::kAllUsers, list.begin()->origin);
    manager.SweepKey(key.Get(), &list, 0, 0, nullptr);
    EXPECT_EQ(3u, list.Count());
    for (const StartupEntry& entry : list) EXPECT_STREQ(origin::kBoth, entry.origin);
    list.Clear();
}

}  // namespace
