#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "TakeOverSupport.h"
#include "registry/RegKey.h"
#include "win/AccountLock.h"
#include "win/ProtectedFolder.h"

namespace {

using namespace enginetest;
using S = RegistrySandbox;

RegValueBlob Bytes(DWORD type, const std::string& bytes) {
    return RegValueBlob(type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Rewrites a user Run value as soon as its copy is written: between a take-over's copy and its deletion.
struct RewriteOnCopy : ItemEventSink {
    RewriteOnCopy(const char* name, const char* command, ItemEventSink& next) : name(name), command(command), next(next) {}
    void Report(const ItemEvent& event) override {
        next.Report(event);
        if (event.what == ItemHappened::Copied && event.place == ItemPlace::Held && event.name == name)
            S::PutText(kUser, keys::kRun, name, command);
    }
    const char* name;
    const char* command;
    ItemEventSink& next;
};

TEST(TakeOver, AndRestoreLeaveBothRunKeysExactlyAsTheyWere) {
    S sandbox;
    // Every kind of value a Run key may hold, in both hives.
    const std::vector<std::tuple<HKEY, std::string, RegValueBlob>> values = {
        {kUser, "sz", S::Text("C:\\Apps\\sz.exe -a")},
        {kUser, "expand", S::Text("\"%ProgramFiles%\\App\\app.exe\" /tray", REG_EXPAND_SZ)},
        {kUser, "multi", Bytes(REG_MULTI_SZ, std::string("C:\\m.exe\0second\0\0", 18))},
        {kUser, "dword", S::Dword(1)},
        {kUser, "binary", Bytes(REG_BINARY, std::string("\x10\x20\0\x30", 4))},
        {kUser, "empty", Bytes(REG_SZ, "")},
        {kUser, "command254", S::Text(std::string(254, 'c'))},
        {kUser, "command255", S::Text(std::string(255, 'd'))},
        {kUser, "bytes511", S::Text(std::string(510, 'a'))},
        {kUser, "bytes512", S::Text(std::string(511, 'b'))},
        {kUser, "bytes513", S::Text(std::string(512, 'c'))},
        {kUser, "big", Bytes(REG_BINARY, std::string(5000, '\x7f'))},
        {kUser, std::string(254, 'n'), S::Text("C:\\n254.exe")},
        {kUser, std::string(255, 'm'), S::Text("C:\\m255.exe")},
        {kUser, "", S::Text("C:\\default.exe")},
        {kUser, "Ünïcødé ✓ 名前", S::Text("\"C:\\Prögram Fïles\\ü.exe\" -ß ✓")},
        {kUser, "quotes \"%\"", S::Text("\"C:\\A B\\q.exe\" \"%1\" 100% %PATH%")},
        {kUser, "pacewick", S::Text("case variant of the program's own name")},
        {kUser, "shared", S::Text("C:\\user\\shared.exe")},
        {kUser, "twin", S::Text("C:\\twin.exe")},
        {kMachine, "Pacewick", S::Text("\"C:\\Program Files\\Pacewick\\pacewick.exe\"")},
        {kMachine, "shared", S::Text("C:\\machine\\shared.exe")},
        {kMachine, "machine", S::Text("C:\\machine\\m.exe", REG_EXPAND_SZ)},
        {kMachine, "machine long", S::Text(std::string(3000, 'L'))},
        {kMachine, "twin", S::Text(std::string(600, 'T'))},
    };
    for (const auto& [hive, name, value] : values) S::Put(hive, keys::kRun, name.c_str(), value);
    const Snapshot userRun = Take(kUser, keys::kRun);
    const Snapshot machineRun = Take(kMachine, keys::kRun);
    ASSERT_EQ(20u, userRun.size());
    TestEngine engine;
    takeover::CStartupManager& manager = engine.manager;

    // Earlier versions' copies: a value too long to list (gone from Run: it comes back) and a number.
    S::Put(kUser, keys::kBackUp, "stale", S::Text(std::string(600, 's')));
    S::Put(kUser, keys::kBackUp, "number", S::Dword(1));
    manager.TakeOver();
    // What cannot be launched whole stays for Windows, uncopied; all else but the program's own is moved exactly.
    const Names unlisted = {"big",        "binary", "bytes511", "bytes512",          "bytes513",
                            "command255", "dword",  std::string(255, 'm'), "multi"};
    EXPECT_EQ(unlisted, NamesOf(Take(kUser, keys::kRun)));
    EXPECT_EQ((Names{"Pacewick", "machine long", "twin"}), NamesOf(Take(kMachine, keys::kRun)));
    Snapshot userCopies = userRun, machineCopies = machineRun;
    for (const std::string& name : unlisted) userCopies.erase(name);
    for (const char* name : {"Pacewick", "machine long", "twin"}) machineCopies.erase(name);
    userCopies["stale"] = S::Text(std::string(600, 's'));
    userCopies["number"] = S::Dword(1);
    EXPECT_EQ(userCopies, Take(kUser, keys::kBackUp));
    EXPECT_EQ(machineCopies, Take(kMachine, keys::kBackUp));
    EXPECT_EQ(machineRun.at("Pacewick"), Take(kMachine, keys::kRun).at("Pacewick"));
    Names kept = unlisted;
    kept.insert(kept.end(), {"machine long", "twin"});
    const EventRecorder& events = engine.events;
    for (const std::string& name : kept)
        EXPECT_EQ(1, events.Count(ItemHappened::Kept, ItemPlace::StartUp, "it cannot be listed", name.c_str())) << name;
    EXPECT_EQ(1, events.Count(ItemHappened::NotListed, ItemPlace::Held, "its name or command is too long", "stale"));
    EXPECT_EQ(1, events.Count(ItemHappened::NotListed, ItemPlace::Held, "its data cannot be read as text", "number"));
    // "pacewick" and "twin" name machine values too (case aside): deleted only from the lists that keep them.
    for (const char* name : {"pacewick", "twin"})
        for (const ItemPlace place : {ItemPlace::StartUp, ItemPlace::Held})
            EXPECT_EQ(0, events.Count(ItemHappened::Kept, place, "no identical copy to keep it", name)) << name;

    // Stale doubles: one whose Run key holds it exactly, one whose Run key has a newer value.
    S::Put(kUser, keys::kBackUp, "double", S::Text(std::string(600, 'd')));
    S::Put(kUser, keys::kRun, "double", S::Text(std::string(600, 'd')));
    S::Put(kUser, keys::kBackUp, "renewed", S::Text(std::string(600, 'o')));
    S::Put(kUser, keys::kRun, "renewed", S::Text(std::string(600, 'n')));
    EXPECT_TRUE(manager.RestoreAll());
    Snapshot restored = userRun;
    restored["number"] = S::Dword(1);
    restored["stale"] = S::Text(std::string(600, 's'));  // its Run key lacks it: it goes back
    restored["double"] = S::Text(std::string(600, 'd'));
    restored["renewed"] = S::Text(std::string(600, 'n'));
    EXPECT_EQ(restored, Take(kUser, keys::kRun));
    EXPECT_EQ(machineRun, Take(kMachine, keys::kRun));
    // Every copy leaves the BackUp keys but the one its Run key has renewed.
    EXPECT_EQ((Snapshot{{"renewed", S::Text(std::string(600, 'o'))}}), Take(kUser, keys::kBackUp));
    EXPECT_TRUE(Take(kMachine, keys::kBackUp).empty());
}

// A walk reports subkeys (never entered), the count of values and each value before what is done with it.
TEST(TakeOver, ReportsEachWalkOfAKeyAsItGoes) {
    struct WalkSteps : ItemEventSink {
        std::vector<std::string> steps;
        void Report(const ItemEvent& event) override {
            static const char* const kWords[] = {"copied",  "not copied", "deleted", "not deleted", "kept",  "not listed",
                                                 "left",    "subkeys",    "subkey",  "values",      "value"};
            std::string step = kWords[static_cast<int>(event.what)];
            if (IsWalkEvent(event.what)) step += " " + std::to_string(event.number);
            if (!event.name.empty()) step += " " + event.name;
            steps.push_back(step);
        }
    } walk;
    S sandbox;
    S::Create(kUser, (S::KeyText(keys::kRun).Str() + "\\Nested").c_str());
    S::PutText(kUser, keys::kRun, "alpha", "C:\\alpha.exe");
    S::PutText(kUser, keys::kRun, "beta", "C:\\beta.exe");
    takeover::OwnedEngine engine(takeover::kUserScope, takeover::kUserScope, takeover::CompanyReading::Skipped, &walk);
    engine.model.SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
    engine.manager.TakeOver();
    using Steps = std::vector<std::string>;
    const Steps listing = {"values 2", "value 1 alpha", "value 2 beta"};
    Steps takenOver = {"subkeys 1", "subkey 1 Nested", "values 2", "value 1 alpha", "value 2 beta",
                       "copied alpha", "copied beta", "deleted beta", "deleted alpha"};  // the last copied first
    takenOver.insert(takenOver.end(), listing.begin(), listing.end());
    EXPECT_EQ(takenOver, walk.steps);
    walk.steps.clear();
    EXPECT_TRUE(engine.manager.RestoreAll());
    // The list first, then each value put back as the walk finds it.
    Steps restored = listing;
    restored.insert(restored.end(), {"values 2", "value 1 alpha", "copied alpha", "value 2 beta", "copied beta",
                                     "deleted alpha", "deleted beta"});
    EXPECT_EQ(restored, walk.steps);
}

TEST(TakeOver, ListsEntriesInOrderWithLabelsAndCompanies) {
    S sandbox;
    const std::string tool = TempPath("tool.exe"), anonymous = TempPath("anonymous.exe");
    ASSERT_TRUE(CopyFileA((FixtureDir() + "\\ver_en_us.dll").c_str(), tool.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((FixtureDir() + "\\ver_nocompany.dll").c_str(), anonymous.c_str(), FALSE));
    S::PutText(kUser, keys::kRun, "Tool", "\"" + tool + "\" -min");
    S::PutText(kUser, keys::kRun, "NoFile", "C:\\nowhere\\nofile.exe /s");
    {  // stored without its terminating NUL, as some installers write it: listed whole all the same
        const std::wstring command = L"C:\\nonul.exe /x";
        const RegValueBlob unterminated(REG_SZ, command.data(), static_cast<DWORD>(command.size() * sizeof(wchar_t)));
        win::UniqueKey run;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kUser, keys::kRun, 0, KEY_SET_VALUE, run.Put()));
        ASSERT_EQ(ERROR_SUCCESS, registry::KeyRef(run.Get()).WriteValue(L"NoNul", unterminated));
    }
    S::PutText(kUser, keys::kRun, "Both", "\"" + tool + "\"");
    S::PutText(kMachine, keys::kRun, "Both", "C:\\machine\\both.exe");
    S::PutText(kMachine, keys::kRun, "anonymous", anonymous);
    S::PutText(kMachine, keys::kRun, "TOOL", "%SystemRoot%\\TOOL.exe", REG_EXPAND_SZ);
    S::PutText(kMachine, keys::kBackUp, "earlier", "C:\\earlier.exe");  // from an earlier run
    TestEngine engine;
    takeover::CStartupManager& manager = engine.manager;

    manager.TakeOver();
    // Machine entries first, each key's last value first; a name in both keys once, from the user's.
    Names expected;
    for (const std::string& name : S::ValueNames(kUser, keys::kBackUp)) expected.insert(expected.begin(), name);
    for (const std::string& name : S::ValueNames(kMachine, keys::kBackUp))
        if (name != "Both") expected.insert(expected.begin(), name);
    const EntryList list = engine.List();
    EXPECT_EQ(expected, NamesOf(list));
    using Row = std::tuple<std::string, std::string, Origin, std::string>;  // name, company, origin, command
    std::set<Row> rows;
    for (const StartupEntry& entry : list) rows.emplace(U8(entry.name), U8(entry.company), entry.origin, U8(entry.command));
    EXPECT_EQ((std::set<Row>{{"Tool", "Company 0409", Origin::CurrentUser, "\"" + tool + "\" -min"},
                             {"NoFile", "Unknown", Origin::CurrentUser, "C:\\nowhere\\nofile.exe /s"},
                             {"NoNul", "Unknown", Origin::CurrentUser, "C:\\nonul.exe /x"},
                             {"Both", "Company 0409", Origin::Both, "\"" + tool + "\""},
                             {"anonymous", "Unknown", Origin::AllUsers, anonymous},
                             {"TOOL", "Unknown", Origin::AllUsers, "%SystemRoot%\\TOOL.exe"},  // as read
                             {"earlier", "Unknown", Origin::AllUsers, "C:\\earlier.exe"}}),
              rows);
    EXPECT_TRUE(Take(kUser, keys::kRun).empty() && Take(kMachine, keys::kRun).empty());
    EXPECT_TRUE(DeleteFileA(tool.c_str()) && DeleteFileA(anonymous.c_str()));
}

TEST(TakeOver, NeverDeletesARunValueWithoutAnIdenticalBackUpAndLeaksNoHandle) {
    S sandbox(S::Keys{true, true, false, true, true});  // no machine BackUp key
    S::PutText(kUser, keys::kRun, "user", "C:\\user.exe");
    S::PutText(kUser, keys::kRun, "same", "C:\\user\\same.exe");
    S::PutText(kMachine, keys::kRun, "same", "C:\\machine\\same.exe");
    S::PutText(kMachine, keys::kRun, "machine", "C:\\machine.exe");
    const Snapshot machineRun = Take(kMachine, keys::kRun);
    TestEngine engine;
    takeover::CStartupManager& manager = engine.manager;

    manager.TakeOver();
    // No machine BackUp key: its Run key keeps every value, even "same" listed from the user's key.
    EXPECT_EQ(machineRun, Take(kMachine, keys::kRun));
    EXPECT_TRUE(Take(kUser, keys::kRun).empty());
    EXPECT_EQ((Names{"same", "user"}), NamesOf(Take(kUser, keys::kBackUp)));

    // A program that rewrites its value after the back-up keeps its new value.
    S::PutText(kUser, keys::kRun, "moving", "C:\\v1.exe");
    RewriteOnCopy rewrite("moving", "C:\\v2.exe", engine.events);
    const ListSet rows = engine.Rows(takeover::kEveryScope);
    takeover::CStartupManager rewritten(engine.sources, rows, rows, rewrite, engine.model);
    rewritten.TakeOver();
    EXPECT_EQ(S::Text("C:\\v2.exe"), S::Get(kUser, keys::kRun, "moving"));
    EXPECT_EQ(1, engine.events.Count(ItemHappened::Kept, ItemPlace::StartUp, "no identical copy to keep it", "moving"));
    manager.TakeOver();  // the next take-over takes the new value over
    EXPECT_FALSE(S::Get(kUser, keys::kRun, "moving"));
    EXPECT_EQ(S::Text("C:\\v2.exe"), S::Get(kUser, keys::kBackUp, "moving"));
    // A Run value rewritten while unwatched is newer than its back-up: a restore keeps both.
    S::PutText(kUser, keys::kRun, "moving", "C:\\v3.exe");
    // Its Run key still starts a program of that name: the restore counts as done.
    engine.events.Take();
    EXPECT_TRUE(manager.RestoreAll());
    EXPECT_EQ(1, engine.events.Count(ItemHappened::Kept, ItemPlace::StartUp, "it changed since it was backed up", "moving"));
    EXPECT_EQ(S::Text("C:\\v3.exe"), S::Get(kUser, keys::kRun, "moving"));
    EXPECT_EQ(S::Text("C:\\v2.exe"), S::Get(kUser, keys::kBackUp, "moving"));
    manager.TakeOver();

    // A restore into a Run key that cannot be opened keeps every back-up and says nothing starts them.
    const Snapshot userBackUp = Take(kUser, keys::kBackUp);
    S::Remove(kUser, keys::kRun);
    engine.events.Take();
    EXPECT_FALSE(manager.RestoreAll());
    Names leftOnlyHeld;
    for (const Recorded& event : engine.events.Take())
        if (event.what == ItemHappened::LeftOnlyHeld) leftOnlyHeld.push_back(event.name);
    EXPECT_EQ(NamesOf(userBackUp), Sorted(leftOnlyHeld));
    EXPECT_EQ(userBackUp, Take(kUser, keys::kBackUp));
    S::Create(kUser, keys::kRun);
    EXPECT_TRUE(manager.RestoreAll());
    EXPECT_EQ(userBackUp, Take(kUser, keys::kRun));
    EXPECT_TRUE(Take(kUser, keys::kBackUp).empty());
    EXPECT_EQ(machineRun, Take(kMachine, keys::kRun));

    // The program registers itself, deletes single BackUp entries and leaks no handle.
    const std::string self = "\"C:\\Program Files\\Pacewick\\pacewick.exe\"";
    engine.events.Take();
    EXPECT_EQ(1, manager.RegisterSelf("old"));
    EXPECT_EQ((std::vector<Recorded>{{ItemHappened::Copied, ItemPlace::StartUp, ItemKind::RegistryValue, "Pacewick", ""}}),
              engine.events.Take());
    EXPECT_EQ(1, manager.RegisterSelf(self.c_str()));
    EXPECT_EQ(S::Text(self), S::Get(kMachine, keys::kRun, "Pacewick"));
    EXPECT_EQ(machineRun.size() + 1, Take(kMachine, keys::kRun).size());
    engine.events.Take();

    S::PutText(kUser, keys::kBackUp, "entry", "C:\\entry.exe");
    auto remove = [&](ListSet rows) {
        StartupEntry entry = Entry("entry", "C:\\entry.exe");
        entry.lists = rows;
        return manager.DeleteBackupEntry(entry);
    };
    EXPECT_TRUE(remove(ListBit(0)));
    EXPECT_FALSE(S::Get(kUser, keys::kBackUp, "entry"));
    EXPECT_FALSE(remove(ListBit(0)));
    EXPECT_TRUE(remove(ListBit(1)));  // no such key: the list is read again
    const auto held = [](ItemHappened what) { return Recorded{what, ItemPlace::Held, ItemKind::RegistryValue, "entry", ""}; };
    EXPECT_EQ((std::vector<Recorded>{held(ItemHappened::Deleted), held(ItemHappened::DeleteFailed)}), engine.events.Take());

    S::PutText(kUser, keys::kRun, "user", "C:\\user.exe");
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    OutputOf([&] {
        for (int round = 0; round < 50; ++round) {
            manager.TakeOver();
            manager.RegisterSelf("self");
            manager.DeleteBackupEntry(Entry("none", ""));
        }
    });
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_LE(after, before + 4);
}

// Two sessions of one account restore and take over at once; neither deletes a copy the other just checked.
TEST(TakeOver, BesideARestoreInAnotherProcessOfTheAccountLosesNothing) {
    S sandbox;
    // Half moved, as a take-over cut short leaves them: both start on every value.
    for (int i = 0; i < 100; ++i)
        for (const wchar_t* key : {keys::kRun, keys::kBackUp})
            S::PutText(kUser, key, ("value " + std::to_string(i)).c_str(), "C:\\app" + std::to_string(i) + ".exe");
    const Snapshot seeded = Take(kUser, keys::kRun);
    const char* rounds = std::getenv("PACEWICK_ACCOUNT_ROUNDS");
    std::vector<win::UniqueHandle> processes;
    for (const char* role : {"takeover", "restore"}) {
        processes.push_back(StartProgram(W("\"" + FixtureDir() + "\\account_rounds.exe\" " + sandbox.Root() + " " + role +
                                           " " + (rounds ? rounds : "20") + " PacewickRounds" +
                                           std::to_string(GetCurrentProcessId()))));
        ASSERT_TRUE(processes.back());
    }
    for (const win::UniqueHandle& process : processes) EXPECT_EQ(0u, ExitCodeOf(process, 300000));
    // Each value in its Run key or its BackUp key (or both, half moved), exact.
    const Snapshot run = Take(kUser, keys::kRun), backUp = Take(kUser, keys::kBackUp);
    for (const auto& [name, value] : seeded) {
        EXPECT_TRUE(run.count(name) || backUp.count(name)) << "lost: " << name;
        for (const Snapshot* key : {&run, &backUp})
            EXPECT_EQ(value, key->count(name) ? key->at(name) : value) << name;
    }
}

// The account lock is a profile file: a squatted kernel object blocks nothing, a linked lock file is nobody's.
win::HandleFactsReader realFacts = nullptr;
bool LockFolderPlanted(HANDLE handle, const std::wstring& path, win::HandleFacts* facts) {
    if (!realFacts(handle, path, facts)) return false;
    if (path.size() > 9 && path.compare(path.size() - 9, 9, L"\\Pacewick") == 0)
        facts->attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return true;
}

TEST(TakeOver, TheAccountsLockIsTheAccountsAloneAndWaitedFor) {
    S sandbox;
    const auto moved = [](const char* name) {
        return S::Get(kUser, keys::kBackUp, name).has_value() && !S::Get(kUser, keys::kRun, name).has_value();
    };
    {  // another account's mutex of the old name, made first and held
        const std::wstring name = L"Global\\Quorvell.Pacewick.Account." + win::CurrentUserSid();
        win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>> descriptor;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BGD:P(A;;GA;;;WD)", SDDL_REVISION_1,
                                                                         descriptor.Put(), nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
        const win::UniqueHandle squatter(CreateMutexW(&attributes, TRUE, name.c_str()));
        ASSERT_TRUE(squatter);
        S::PutText(kUser, keys::kRun, "beside a squatter", "C:\\one.exe");
        TestEngine engine;
        const std::string output = OutputOf([&] { engine.manager.TakeOver(); });
        EXPECT_TRUE(moved("beside a squatter")) << output;
    }
    {  // another holder of the account's lock: waited for, never entered beside it
        win::AccountLock other;
        win::AccountLock::Holding held = other.Take(0);
        ASSERT_TRUE(held.Held()) << held.Error();
        EXPECT_EQ(DWORD(WAIT_TIMEOUT), win::AccountLock().Take(0).Error());
        DWORD beside = ERROR_SUCCESS;  // nor by another thread of the holder's process
        std::thread([&] { beside = other.Take(50).Error(); }).join();
        EXPECT_EQ(DWORD(WAIT_TIMEOUT), beside);
        S::PutText(kUser, keys::kRun, "after the holder", "C:\\two.exe");
        TestEngine engine;
        std::thread release([&held] {
            Sleep(400);
            held = win::AccountLock::Holding();
        });
        const ULONGLONG began = GetTickCount64();
        engine.manager.TakeOver();
        const ULONGLONG waited = GetTickCount64() - began;
        release.join();
        EXPECT_TRUE(moved("after the holder"));
        EXPECT_GE(waited, 350u);
    }
    {  // its folder is a link: nothing moves, and the lock says why
        realFacts = win::HandleFactsHook().exchange(LockFolderPlanted);
        S::PutText(kUser, keys::kRun, "through a link", "C:\\three.exe");
        TestEngine engine;
        const Snapshot run = Take(kUser, keys::kRun), backUp = Take(kUser, keys::kBackUp);
        engine.manager.TakeOver();
        EXPECT_FALSE(engine.manager.RestoreAll());
        const win::AccountLock::Holding refused = win::AccountLock().Take(0);
        win::HandleFactsHook() = realFacts;
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), refused.Error());
        EXPECT_EQ("a folder of its path is a link, belongs to another account or cannot be opened", refused.Refusal());
        EXPECT_TRUE(engine.events.Take().empty());
        EXPECT_EQ(run, Take(kUser, keys::kRun));
        EXPECT_EQ(backUp, Take(kUser, keys::kBackUp));
    }
}

}  // namespace

namespace {

using Row = std::tuple<std::string, std::string, std::string, Origin, ListSet, std::vector<std::string>>;
std::vector<Row> Rows(const EntryList& list) {
    std::vector<Row> rows;
    for (const StartupEntry& e : list) {
        std::vector<std::string> others;
        for (const std::wstring& other : e.otherCommands) others.push_back(U8(other));
        rows.emplace_back(U8(e.name), U8(e.command), U8(e.company), e.origin, e.lists, others);
    }
    return rows;
}

// A newcomer's take-over beside 1,000 held entries reads only the newcomers, and leaves the full list.
TEST(TakeOver, NewcomersBesideAThousandHeldAreAddedAsAFullReadingListsThem) {
    S sandbox;
    for (int i = 0; i < 1000; ++i)
        S::PutText(kUser, keys::kBackUp, ("held " + std::to_string(1000 + i)).c_str(), "C:\\held.exe " + std::to_string(i));
    S::PutText(kUser, keys::kBackUp, "shared", "C:\\user\\shared.exe");
    S::PutText(kMachine, keys::kBackUp, "shared", "C:\\machine\\shared.exe");
    S::PutText(kMachine, keys::kBackUp, "machine held", "C:\\machine.exe");
    for (HKEY hive : {kUser, kMachine}) S::Put(hive, keys::kBackUp, "number", S::Dword(1));
    TestEngine engine;
    S::PutText(kUser, keys::kRun, "zz user newcomer", "C:\\new\\user.exe");
    S::PutText(kMachine, keys::kRun, "zz machine newcomer", "C:\\new\\machine.exe");
    OutputOf([&] { engine.manager.TakeOverNewcomers(); });
    std::vector<Recorded> each;  // each newcomer put and deleted, and nothing else
    for (const char* name : {"zz user newcomer", "zz machine newcomer"})
        for (const auto& [what, place] : {std::pair{ItemHappened::Copied, ItemPlace::Held}, {ItemHappened::Deleted, ItemPlace::StartUp}})
            each.push_back({what, place, ItemKind::RegistryValue, name, ""});
    EXPECT_EQ(each, engine.events.Take());
    const auto merged = Rows(engine.List());
    OutputOf([&] { engine.manager.RebuildList(); });
    EXPECT_EQ(Rows(engine.List()), merged);
    EXPECT_TRUE(Take(kUser, keys::kRun).empty() && Take(kMachine, keys::kRun).empty());

    // A name listed already, or newcoming to both keys, is read in full.
    S::PutText(kUser, keys::kRun, "held 1500", "C:\\held.exe renewed");
    S::PutText(kUser, keys::kRun, "zz twin", "C:\\user\\twin.exe");
    S::PutText(kMachine, keys::kRun, "zz twin", "C:\\machine\\twin.exe");
    OutputOf([&] { engine.manager.TakeOverNewcomers(); });
    const auto relisted = Rows(engine.List());
    OutputOf([&] { engine.manager.RebuildList(); });
    EXPECT_EQ(Rows(engine.List()), relisted);
}

// Exit during a burst: the value in hand is finished, the rest stay in Run, each value whole in one place.
TEST(TakeOver, AStopBetweenItemsLeavesEveryValueWholeInExactlyOnePlace) {
    S sandbox;
    for (int i = 0; i < 400; ++i)
        S::PutText(kUser, keys::kRun, ("burst " + std::to_string(i)).c_str(), "C:\\burst.exe " + std::to_string(i));
    const Snapshot seeded = Take(kUser, keys::kRun);
    TestEngine engine;
    int asked = 0;
    OutputOf([&] { engine.manager.TakeOverNewcomers([&] { return ++asked > 100; }); });
    const Snapshot run = Take(kUser, keys::kRun), backUp = Take(kUser, keys::kBackUp);
    EXPECT_EQ(100u, backUp.size());
    EXPECT_EQ(300u, run.size());
    for (const auto& [name, value] : seeded) {
        EXPECT_NE(run.count(name), backUp.count(name)) << name;
        EXPECT_EQ(value, run.count(name) ? run.at(name) : backUp.at(name)) << name;
    }
}

TEST(TakeOver, ReadsNoCompanyOnTheTakingThreadAndTheListFollowsOnceRead) {
    S sandbox;
    const std::string tool = TempPath("company.exe");
    ASSERT_TRUE(CopyFileA((FixtureDir() + "\\ver_en_us.dll").c_str(), tool.c_str(), FALSE));
    TestEngine engine;
    std::vector<std::string> shown;  // the newcomer's company at each change of the list
    engine.model.SetListChangedCallback([&] {
        for (const StartupEntry& entry : engine.model.CopyList())
            if (entry.name == L"tool") shown.push_back(U8(entry.company));
    });
    S::PutText(kUser, keys::kRun, "tool", "\"" + tool + "\" /tray");
    OutputOf([&] { engine.manager.TakeOverNewcomers(); });
    ASSERT_TRUE(engine.model.WaitForCompanies(10000));
    engine.model.SetListChangedCallback(nullptr);
    EXPECT_EQ((std::vector<std::string>{"", "Company 0409"}), shown);
    EXPECT_TRUE(DeleteFileA(tool.c_str()));
}

}  // namespace

namespace {

const std::string kLeaveAlone = std::string(U8(keys::kPolicies)) + "\\LeaveAlone";

}  // namespace

// What the machine's LeaveAlone list names stays in the user's Run key; what was held before goes back exactly.
TEST(TakeOver, LeavesWhatTheMachinesProgramListNamesAndGivesBackWhatItHeldExactly) {
    S sandbox;
    S::Create(kMachine, kLeaveAlone.c_str());
    S::PutText(kMachine, kLeaveAlone.c_str(), "vpn", "vpnui.exe");
    S::PutText(kMachine, kLeaveAlone.c_str(), "agent", "%SystemRoot%\\Agent\\agent.exe");
    S::PutText(kUser, keys::kRun, "vpn", "\"C:\\Program Files\\VPN\\VPNUI.exe\" /tray");
    S::PutText(kUser, keys::kRun, "lookalike", "C:\\Tools\\myvpnui.exe vpnui.exe");
    S::PutText(kUser, keys::kRun, "other", "C:\\Tools\\other.exe");
    // Held by an earlier Pacewick: an expandable value with bytes past its text, and one the list does not name.
    const wchar_t agentData[] = L"%SystemRoot%\\Agent\\agent.exe\0z";
    const RegValueBlob agent(REG_EXPAND_SZ, agentData, sizeof agentData - 1);  // an odd last byte too
    registry::Key backUp, run;
    ASSERT_EQ(ERROR_SUCCESS, backUp.Open(kUser, keys::kBackUp, KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, run.Open(kUser, keys::kRun, KEY_READ));
    ASSERT_EQ(ERROR_SUCCESS, backUp.WriteValue(L"agent", agent));
    const auto read = [](const registry::Key& key) {
        RegValueBlob value;
        return key.ReadValue(L"agent", &value) == ERROR_SUCCESS ? value : RegValueBlob();
    };
    S::PutText(kUser, keys::kBackUp, "held", "C:\\Tools\\held.exe");
    TestEngine engine;
    engine.manager.TakeOver();
    EXPECT_EQ((Names{"agent", "vpn"}), NamesOf(Take(kUser, keys::kRun)));
    EXPECT_EQ(agent, read(run));
    EXPECT_EQ((Names{"held", "lookalike", "other"}), NamesOf(Take(kUser, keys::kBackUp)));
    EXPECT_EQ(1, engine.events.Count(ItemHappened::Kept, ItemPlace::StartUp, lists::kLeftAloneReason, "vpn"));
    EXPECT_EQ((Names{"held", "lookalike", "other"}), Sorted(NamesOf(engine.List())));

    // The list is read at each round: a newcomer it names stays, and once the list no longer names one, it moves.
    S::PutText(kUser, keys::kRun, "vpn helper", "C:\\VPN\\vpnui.exe -helper");
    engine.manager.TakeOverNewcomers();
    EXPECT_EQ((Names{"agent", "vpn", "vpn helper"}), NamesOf(Take(kUser, keys::kRun)));
    S::Remove(kMachine, kLeaveAlone.c_str());
    engine.manager.TakeOverNewcomers();
    EXPECT_TRUE(Take(kUser, keys::kRun).empty());
    EXPECT_EQ(agent, read(backUp));
}
