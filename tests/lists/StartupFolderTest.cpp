// The Startup folders taken over and put back exactly, never lost, never through a folder a user made first.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "EventRecorder.h"
#include "FolderTestSupport.h"
#include "LogRoot.h"
#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "keeper/Keeper.h"
#include "keeper/KeeperLog.h"
#include "Shortcuts.h"
#include "lists/StartupFolder.h"
#include "policy/ListedPrograms.h"
#include "win/ComApartment.h"
#include "registry/RegistryKeys.h"
#include "win/ProtectedFolder.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace {

using namespace foldertest;
using lists::StartupFolderSource;

constexpr ListSet kBit = ListBit(3);

// One take-over as the engine makes it: back up, list, delete what is held.
EntryList TakeOver(lists::StartupSource& source, const lists::Reporter& report) {
    EntryList listed;
    source.BackUp(report);
    source.ListHeld(listed, kBit, report);
    source.RemoveHeld(listed, kBit, report);
    return listed;
}

unsigned Seed() {
    const char* seed = std::getenv("PACEWICK_FOLDER_SEED");
    return seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : std::random_device()();
}

TEST(StartupFolder, ThousandItemsAreTakenOverAndPutBackExactly) {
    const unsigned seed = Seed();
    SCOPED_TRACE("PACEWICK_FOLDER_SEED=" + std::to_string(seed));
    RegistrySandbox sandbox;
    Scratch scratch(L"thousand");
    const Image items = MakeItems(scratch.startup, 1000, 3, seed);
    ASSERT_EQ(1000u, items.size());
    const std::wstring sub = scratch.startup + L"\\Sub";
    CreateDirectoryW(lists::LongPath(sub).c_str(), nullptr);
    WriteItem(sub + L"\\inside.exe", "in a sub-folder", 1, 2, 0);
    WriteItem(scratch.startup + L"\\Desktop.INI", "[.ShellClassInfo]", 3, 4,
              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const Image untouched = ImageOf(sub), desktopIni = {{L"Desktop.INI", FactsOf(scratch.startup + L"\\Desktop.INI")}};

    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    StartupFolderSource source(lists::Scope::User, Origin::UserFolder, scratch.startup, scratch.backUp, kUser);
    const EntryList listed = TakeOver(source, report);
    EXPECT_EQ(1000u, listed.Count());
    for (const StartupEntry& entry : listed) {
        const std::wstring name = entry.item.substr(scratch.backUp.size() + 1);
        ASSERT_TRUE(items.count(name) && win::Utf8(entry.name) && win::Utf8(entry.command));
        ASSERT_TRUE(FitsEntry(entry.name) && FitsEntry(entry.command));
        EXPECT_EQ(0u, win::Utf8ForDisplay(name).rfind(*win::Utf8(entry.name), 0));  // whole, or cut between characters
        EXPECT_TRUE(entry.lists == kBit && entry.origin == Origin::UserFolder && entry.company.empty());
    }
    EXPECT_EQ(items, ImageOf(scratch.backUp));
    EXPECT_EQ(desktopIni, ImageOf(scratch.startup));

    EXPECT_TRUE(source.Restore(report));
    Image back = ImageOf(scratch.startup);
    back.erase(L"Desktop.INI");
    EXPECT_EQ(items, back);
    EXPECT_TRUE(RemoveDirectoryW(lists::LongPath(scratch.backUp).c_str()));  // empty
    EXPECT_EQ(untouched, ImageOf(sub));
    // Each item told as copied and deleted, there and back, and nothing else.
    for (const auto what : {ItemHappened::Copied, ItemHappened::Deleted})
        for (const auto place : {ItemPlace::Held, ItemPlace::StartUp}) EXPECT_EQ(1000, recorder.Count(what, place));
    EXPECT_EQ(4000u, recorder.Take().size());
}

// What stays: a switched-off item, one changed since copied, a different file at restore; DeleteHeld stays inside.
TEST(StartupFolder, KeepsWhatIsNotIdenticallyHeldAndDeletesOnlyHeldFiles) {
    RegistrySandbox sandbox;
    Scratch scratch(L"kept");
    const std::wstring off = scratch.startup + L"\\Off.lnk", changed = scratch.startup + L"\\Changed.bat";
    WriteItem(off, "off", 1, 2, 0);
    WriteItem(changed, "@echo one", 1, 2, FILE_ATTRIBUTE_READONLY);
    RegistrySandbox::Create(kUser, keys::kApprovedStartupFolder);
    RegistrySandbox::Put(kUser, keys::kApprovedStartupFolder, "Off.lnk", RegValueBlob(REG_BINARY, "\3\0\0\0", 4));
    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    StartupFolderSource source(lists::Scope::User, Origin::UserFolder, scratch.startup, scratch.backUp, kUser);

    // An item this account may not delete (open elsewhere) is not copied, or both would start it.
    const std::wstring locked = scratch.startup + L"\\Locked.exe";
    WriteItem(locked, "locked", 1, 2, 0);
    {
        const win::UniqueHandle open(
            CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        source.BackUp(report);
    }
    EXPECT_EQ(1, recorder.Count(ItemHappened::Kept, ItemPlace::StartUp, "this account cannot move it from its folder"));
    EXPECT_EQ(0u, ImageOf(scratch.backUp).count(L"Locked.exe"));
    DeleteFileW(locked.c_str());
    EntryList listed;
    source.ListHeld(listed, kBit, report);
    SetFileAttributesW(changed.c_str(), FILE_ATTRIBUTE_NORMAL);  // changed after its copy: kept
    source.RemoveHeld(listed, kBit, report);
    EXPECT_EQ(1, recorder.Count(ItemHappened::Kept, ItemPlace::StartUp, "it is switched off"));
    EXPECT_EQ(1, recorder.Count(ItemHappened::Kept, ItemPlace::StartUp, "no identical copy holds it"));
    EXPECT_EQ(2u, ImageOf(scratch.startup).size());
    SetFileAttributesW(changed.c_str(), FILE_ATTRIBUTE_READONLY);
    source.RemoveHeld(listed, kBit, report);
    EXPECT_EQ((Image{{L"Off.lnk", FactsOf(off)}}), ImageOf(scratch.startup));

    WriteItem(changed, "@echo two", 5, 6, 0);  // a newer file of its name, written while it was held
    const Image held = ImageOf(scratch.backUp), newer = ImageOf(scratch.startup);
    EXPECT_TRUE(source.Restore(report));
    EXPECT_EQ(1, recorder.Count(ItemHappened::Kept, ItemPlace::Held,
                                "a different file of its name is in the Startup folder"));
    EXPECT_EQ(held, ImageOf(scratch.backUp));
    EXPECT_EQ(newer, ImageOf(scratch.startup));

    StartupEntry entry;
    const std::wstring above = scratch.root + L"\\Quorvell Software\\Pacewick", deeper = scratch.backUp + L"\\Deeper";
    CreateDirectoryW(deeper.c_str(), nullptr);
    for (const std::wstring& outside : {scratch.backUp + L"\\..\\Changed.bat", scratch.startup + L"\\Changed.bat",
                                        deeper + L"\\Changed.bat", scratch.backUp + L"\\Changed.bat:stream",
                                        scratch.backUp}) {
        for (const std::wstring& folder : {above, deeper}) WriteItem(folder + L"\\Changed.bat", "outside", 1, 2, 0);
        entry.item = outside;
        EXPECT_FALSE(source.DeleteHeld(entry, report));
        EXPECT_EQ(ImageOf(deeper).size() + ImageOf(above).size(), 2u);
        EXPECT_EQ(newer, ImageOf(scratch.startup));
        EXPECT_EQ(held, ImageOf(scratch.backUp));
    }
    entry.item = scratch.backUp + L"\\changed.BAT";
    EXPECT_TRUE(source.DeleteHeld(entry, report));
    EXPECT_EQ(0u, ImageOf(scratch.backUp).size());
}

// What Wine cannot make (reparse points, other accounts' folders) is shown through the handle facts' seam.
std::wstring plantedFolder;
DWORD plantedAttributes = 0;
bool PlantedFacts(HANDLE handle, const std::wstring& path, win::HandleFacts* facts) {
    if (!win::ReadHandleFacts(handle, facts)) return false;
    const bool planted = path.size() >= plantedFolder.size() &&
                         path.compare(path.size() - plantedFolder.size(), plantedFolder.size(), plantedFolder) == 0;
    facts->attributes |= planted ? plantedAttributes : 0;
    facts->adminOwner = !planted || plantedAttributes;
    facts->trustedOwner = facts->adminOwner;  // another account's
    return true;
}

// In both scopes a folder items move through is refused when it is a reparse point or another account's.
TEST(StartupFolder, NothingMovesThroughAFolderThatIsAWindowsLinkOrAnotherAccounts) {
    const win::HandleFactsReader original = win::HandleFactsHook().exchange(PlantedFacts);
    RegistrySandbox sandbox;
    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    const DWORD link = FILE_ATTRIBUTE_REPARSE_POINT;
    for (const auto scope : {lists::Scope::Machine, lists::Scope::User})
        for (const auto& [folder, attributes] :
             {std::pair{L"\\Quorvell Software", link}, std::pair{L"\\StartupBackUp", DWORD(0)},
              std::pair{L"\\Startup", link}, std::pair{L"\\Startup", DWORD(0)}, std::pair{L"\\~Pacewick copying", link},
              std::pair{L"\\none", DWORD(0)}}) {
            Scratch scratch(L"refused");
            plantedFolder = folder;
            plantedAttributes = attributes;
            CreateDirectoryW(scratch.backUp.c_str(), nullptr);
            WriteItem(scratch.backUp + L"\\Planted.exe", "planted", 1, 2, 0);
            WriteItem(scratch.startup + L"\\Tool.exe", "tool", 1, 2, 0);
            const Image planted = ImageOf(scratch.backUp), tool = ImageOf(scratch.startup);
            Image both = planted;
            both.insert(tool.begin(), tool.end());
            StartupFolderSource source(scope, Origin::AllUsersFolder, scratch.startup, scratch.backUp, kMachine);
            const bool refused = plantedFolder != L"\\none";
            const std::string output = OutputOf([&] { TakeOver(source, report); });
            EXPECT_EQ(refused, output.find(" is refused: ") != std::string::npos) << output;
            EXPECT_EQ(refused ? tool : Image(), ImageOf(scratch.startup));
            EXPECT_EQ(refused ? planted : both, ImageOf(scratch.backUp));
            EXPECT_EQ(refused, !source.Restore(report));  // nothing comes out of a refused folder either
            EXPECT_EQ(refused ? tool : both, ImageOf(scratch.startup));
        }
    win::HandleFactsHook() = original;
}

// Unix symbolic links (Wine's junctions) planted where Pacewick writes and deletes, each to a folder outside.
enum Place {
    kUserStartupCopying, kUserBackUpCopying, kMachineStartupCopying, kMachineBackUpCopying,
    kUserBackUp, kUserBackUpParent, kUserStartup, kMachineStartup, kMachineBackUp, kUserStartupFile, kPlaces
};
constexpr unsigned Bit(Place place) { return 1u << place; }

// What each place's link makes Pacewick say.
const char* RefusalOf(Place place) {
    switch (place) {
    case kUserBackUp:
    case kUserBackUpParent: return "this account's BackUp folder is refused";
    case kUserStartup: return "this account's Startup folder is refused";
    case kMachineStartup: return "all users' Startup folder is refused";
    case kMachineBackUp: return "the machine's BackUp folder is refused";
    case kUserStartupFile: return "";  // an item like any other, only not deleted
    default: return "its copying folder is refused";
    }
}

// Every file and folder below `folder`, by its path there (a folder's facts are empty).
Image TreeOf(const std::wstring& folder, const std::wstring& below = L"") {
    Image tree;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(lists::LongPath(folder + below + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return tree;
    do {
        const std::wstring name = below + L"\\" + found.cFileName;
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L"..")) continue;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) tree[name] = FactsOf(folder + name);
        else tree.emplace(name, Facts{}), tree.merge(TreeOf(folder, name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return tree;
}

// One round over links at `places`: take-over, a deletion, restores; nothing outside changes, nothing lost.
void LinkRound(unsigned places, unsigned seed, std::string* output) {
    SCOPED_TRACE("places " + std::to_string(places) + ", seed " + std::to_string(seed));
    Scratch elsewhere(L"links-outside"), user(L"links-user"), machine(L"links-machine");  // the links go first
    const std::wstring outside = elsewhere.root + L"\\Outside";
    CreateDirectoryW(lists::LongPath(outside).c_str(), nullptr);
    MakeItems(outside, 4, 0, seed);
    WriteItem(outside + L"\\Kept.exe", "read-only", 1, 2, FILE_ATTRIBUTE_READONLY);
    const auto has = [&](Place place) { return (places & Bit(place)) != 0; };
    if (has(kUserBackUpParent)) places &= ~Bit(kUserBackUp);
    if (has(kUserBackUp) || has(kUserBackUpParent)) places &= ~Bit(kUserBackUpCopying);
    if (has(kUserStartup)) places &= ~(Bit(kUserStartupCopying) | Bit(kUserStartupFile));
    if (has(kMachineStartup)) places &= ~Bit(kMachineStartupCopying);
    if (has(kMachineBackUp)) places &= ~Bit(kMachineBackUpCopying);
    const std::wstring copying = std::wstring(L"\\") + lists::kCopyingFolder;
    const std::pair<Place, std::wstring> links[] = {
        {kUserStartupCopying, user.startup + copying},     {kUserBackUpCopying, user.backUp + copying},
        {kMachineStartupCopying, machine.startup + copying}, {kMachineBackUpCopying, machine.backUp + copying},
        {kUserBackUp, user.backUp},                          {kUserBackUpParent, user.root + L"\\Quorvell Software\\Pacewick"},
        {kUserStartup, user.startup},                        {kMachineStartup, machine.startup},
        {kMachineBackUp, machine.backUp},                    {kUserStartupFile, user.startup + L"\\Linked.exe"}};
    for (const auto& [place, link] : links) {
        if (!has(place)) continue;
        RemoveDirectoryW(lists::LongPath(link).c_str());  // an empty folder of the scratch's, in its place
        for (const Scratch* scratch : {&user, &machine})
            if (link.size() > scratch->backUp.size() && link.rfind(scratch->backUp, 0) == 0)
                CreateDirectoryW(lists::LongPath(scratch->backUp).c_str(), nullptr);
        ASSERT_TRUE(PlantLink(link, outside + (place == kUserStartupFile ? L"\\Kept.exe" : L"")))
            << win::Utf8ForDisplay(link);
    }
    const Image before = TreeOf(outside);

    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    const auto round = [&](const Scratch& scratch, lists::Scope scope, Origin origin, HKEY root, bool startupLinked,
                           bool backUpLinked) {
        const Image items = startupLinked ? Image() : MakeItems(scratch.startup, 5, 0, seed + 1);
        StartupFolderSource source(scope, origin, scratch.startup, scratch.backUp, root);
        Image taken;
        *output += OutputOf([&] {
            const EntryList listed = TakeOver(source, report);
            taken = ImageOf(scratch.startup);
            if (listed.Count()) source.DeleteHeld(*listed.begin(), report);
            source.Restore(report);
        });
        EXPECT_TRUE(!backUpLinked || startupLinked || items == taken) << "nothing moved: " << *output;
        if (startupLinked || backUpLinked) return;
        // Each item whole in one of its folders, or (the deleted one) in neither.
        Image found = ImageOf(scratch.backUp), back = ImageOf(scratch.startup);
        found.insert(back.begin(), back.end());
        EXPECT_LE(items.size(), found.size() + 1);
        for (const auto& [name, facts] : found) EXPECT_TRUE(items.count(name) && items.at(name) == facts);
    };
    round(user, lists::Scope::User, Origin::UserFolder, kUser, has(kUserStartup),
          has(kUserBackUp) || has(kUserBackUpParent));
    round(machine, lists::Scope::Machine, Origin::AllUsersFolder, kMachine, has(kMachineStartup),
          has(kMachineBackUp));
    EXPECT_EQ(before, TreeOf(outside)) << "a file outside changed";
    if (has(kUserStartupFile)) RunUnix(L"/bin/rm", {UnixName(user.startup + L"\\Linked.exe")});  // seen as a file
}

TEST(StartupFolder, ALinkAtAnyPlaceItWritesInMovesNothingOutsideAndIsSaid) {
    RegistrySandbox sandbox;
    const unsigned seed = Seed();
    for (int place = 0; place < kPlaces; ++place) {
        std::string output;
        LinkRound(Bit(static_cast<Place>(place)), seed + place, &output);
        EXPECT_NE(std::string::npos, output.find(RefusalOf(static_cast<Place>(place)))) << place << ": " << output;
    }
}

// Links at random places among those, together (PACEWICK_LINK_ROUNDS rounds; make stress: 200).
TEST(StartupFolder, LinksPlantedAtRandomPlacesMoveNothingOutside) {
    RegistrySandbox sandbox;
    const unsigned seed = Seed();
    SCOPED_TRACE("PACEWICK_FOLDER_SEED=" + std::to_string(seed));
    const char* count = std::getenv("PACEWICK_LINK_ROUNDS");
    const int rounds = count ? std::atoi(count) : 20;
    std::mt19937 random(seed);
    for (int round = 0; round < rounds; ++round) {
        unsigned places = 0;
        for (int place = 0; place < kPlaces; ++place) places |= random() % 3 ? 0 : Bit(static_cast<Place>(place));
        std::string output;
        LinkRound(places, static_cast<unsigned>(random()), &output);
    }
}

TEST(StartupFolder, TheKeeperLogsARefusedFolderAndAFileNotDeletedWithinTheCap) {
    RegistrySandbox sandbox;
    LogRoot log;
    Scratch outside(L"keeper-outside"), machine(L"keeper-links");  // the link goes first
    ASSERT_TRUE(PlantLink(machine.startup + L"\\" + lists::kCopyingFolder, outside.startup));
    for (const wchar_t* name : {L"One.exe", L"Two.exe"}) WriteItem(machine.startup + L"\\" + name, "item", 1, 2, 0);
    ASSERT_TRUE(keeper::OpenLog(log.root));
    keeper::KeeperEvents events;
    StartupFolderSource source(lists::Scope::Machine, Origin::AllUsersFolder, machine.startup, machine.backUp,
                               kMachine);
    for (int takeOver = 0; takeOver < 10; ++takeOver) TakeOver(source, {events, 0, ItemKind::File});
    keeper::CloseLog();
    const std::string text = LogRoot::Read(log.Path(keeper::kLogName));
    const int refused = CountOf(text, "Startup folder items not moved, its copying folder is refused"),
              notDeleted = CountOf(text, "Startup item not deleted: One.exe") + CountOf(text, "not deleted: Two.exe");
    EXPECT_TRUE(refused && notDeleted) << text;
    EXPECT_EQ(5, refused + notDeleted) << "five a minute";
    EXPECT_EQ(1, CountOf(text, "Refusals left out of this log: ")) << text;
}

// An item kept open is tried again for a few seconds: let go, it goes back; never, it is named and stays held.
TEST(StartupFolder, RestoreWaitsBrieflyForItemsKeptOpenAndNamesWhatStaysHeld) {
    RegistrySandbox sandbox;
    Scratch scratch(L"in-use");
    for (const wchar_t* name : {L"Free.exe", L"LetGo.exe", L"KeptOpen.exe"})
        WriteItem(scratch.startup + L"\\" + name, "item", 1, 2, 0);
    const Image items = ImageOf(scratch.startup);
    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    StartupFolderSource source(lists::Scope::User, Origin::UserFolder, scratch.startup, scratch.backUp, kUser);
    TakeOver(source, report);
    const auto open = [&](const wchar_t* name) {
        return win::UniqueHandle(CreateFileW(lists::LongPath(scratch.backUp + L"\\" + name).c_str(), GENERIC_READ, 0,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    };
    win::UniqueHandle letGo = open(L"LetGo.exe");
    win::UniqueHandle keptOpen = open(L"KeptOpen.exe");
    ASSERT_TRUE(letGo && keptOpen);
    std::thread release([&] {
        Sleep(1000);
        letGo.Reset();
    });
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(source.Restore(report));
    const ULONGLONG took = GetTickCount64() - start;
    release.join();
    keptOpen.Reset();
    EXPECT_LT(took, 6000u);
    Image back = items;
    back.erase(L"KeptOpen.exe");
    EXPECT_EQ(back, ImageOf(scratch.startup));
    EXPECT_EQ((Image{{L"KeptOpen.exe", items.at(L"KeptOpen.exe")}}), ImageOf(scratch.backUp));
    EXPECT_EQ(1, recorder.Count(ItemHappened::Kept, ItemPlace::Held, "another program has it open"));
    EXPECT_EQ(1, recorder.Count(ItemHappened::LeftOnlyHeld, ItemPlace::Held));
}

// The faults: each item whole in Startup or BackUp (or both, counted in `both`), nothing else in either.
int Faults(const Scratch& scratch, const Image& items, int* both) {
    const Image startup = ImageOf(scratch.startup), held = ImageOf(scratch.backUp);
    int faults = 0;
    for (const Image* place : {&startup, &held})
        for (const auto& [name, facts] : *place) faults += !items.count(name) || !(items.at(name) == facts);
    for (const auto& item : items) {
        faults += !startup.count(item.first) && !held.count(item.first);
        *both += startup.count(item.first) && held.count(item.first);
    }
    return faults;
}

// folder_rounds.exe killed at seeded moments (PACEWICK_FOLDER_KILLS kills; make stress: 200).
TEST(StartupFolder, KilledAtAnyMomentLosesNoItem) {
    const unsigned seed = Seed();
    SCOPED_TRACE("PACEWICK_FOLDER_SEED=" + std::to_string(seed));
    const char* count = std::getenv("PACEWICK_FOLDER_KILLS");
    const int kills = count ? std::atoi(count) : 20;
    Scratch scratch(L"kills");
    const Image items = MakeItems(scratch.startup, 60, 1, seed);
    std::mt19937 random(seed);
    int halfMoved = 0;
    for (int kill = 1; kill <= kills; ++kill) {
        const win::UniqueHandle rounds = StartProgram(W("\"" + FixtureDir() + "\\folder_rounds.exe\" \"") +
                                                      scratch.startup + L"\" \"" + scratch.backUp + L"\"");
        ASSERT_TRUE(rounds);
        Sleep(200 + random() % 2000);
        TerminateProcess(rounds.Get(), 9);
        WaitForSingleObject(rounds.Get(), 30000);
        int both = 0;
        EXPECT_EQ(0, Faults(scratch, items, &both)) << "after kill " << kill;
        halfMoved += both > 0;
    }
    EventRecorder recorder;
    StartupFolderSource source(lists::Scope::User, Origin::UserFolder, scratch.startup, scratch.backUp, kUser);
    TakeOver(source, {recorder, 0, ItemKind::File});
    EXPECT_TRUE(source.Restore({recorder, 0, ItemKind::File}));
    EXPECT_EQ(items, ImageOf(scratch.startup));
    EXPECT_TRUE(RemoveDirectoryW(lists::LongPath(scratch.backUp).c_str()));  // empty
    std::printf("Kills: %d, with an item in both folders after %d of them\n", kills, halfMoved);
}

}  // namespace

namespace {

// A list that names one program by its file name, as the engine hands the machine's LeaveAlone list to a source.
lists::LeftAlone Naming(const wchar_t* program) {
    auto list = std::make_shared<policy::ListedPrograms>(std::vector<std::wstring>{program});
    return [list](const std::wstring& command) { return list->Names(command); };
}

}  // namespace

// An item the LeaveAlone list names, a file or a shortcut to the program, stays while the rest move; one
// held before goes back exactly, and only it.
TEST(StartupFolder, LeavesWhatTheProgramListNamesAndPutsBackExactlyWhatItHeld) {
    RegistrySandbox sandbox;
    Scratch scratch(L"leave");
    const win::ComApartment com;
    ASSERT_HRESULT_SUCCEEDED(test_shortcuts::Make(scratch.startup + L"\\VPN.lnk", L"C:\\VPN\\VPNUI.exe", L"/tray", L""));
    ASSERT_HRESULT_SUCCEEDED(test_shortcuts::Make(scratch.startup + L"\\Other.lnk", L"C:\\Other\\other.exe", L"vpnui.exe", L""));
    ASSERT_TRUE(WriteItem(scratch.startup + L"\\vpnui.exe", "a program put here", 1, 2, FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(WriteItem(scratch.startup + L"\\myvpnui.exe", "another", 3, 4, FILE_ATTRIBUTE_ARCHIVE));
    const Image before = ImageOf(scratch.startup);
    EventRecorder recorder;
    const lists::Reporter report{recorder, 0, ItemKind::File};
    StartupFolderSource source(lists::Scope::User, Origin::UserFolder, scratch.startup, scratch.backUp, kUser);
    EntryList moved;
    source.MoveIn(moved, kBit, report, nullptr, Naming(L"vpnui.exe"));
    const Image kept = ImageOf(scratch.startup), held = ImageOf(scratch.backUp);
    EXPECT_EQ((Image{{L"VPN.lnk", before.at(L"VPN.lnk")}, {L"vpnui.exe", before.at(L"vpnui.exe")}}), kept);
    EXPECT_EQ((Image{{L"Other.lnk", before.at(L"Other.lnk")}, {L"myvpnui.exe", before.at(L"myvpnui.exe")}}), held);
    EXPECT_EQ(2u, moved.Count());
    EXPECT_EQ(2, recorder.Count(ItemHappened::Kept, ItemPlace::StartUp, lists::kLeftAloneReason));

    // Now the list names other.exe: that shortcut alone goes back, the same file.
    EXPECT_TRUE(source.Restore(report, Naming(L"OTHER.EXE")));
    Image back = kept;
    back[L"Other.lnk"] = before.at(L"Other.lnk");
    EXPECT_EQ(back, ImageOf(scratch.startup));
    EXPECT_EQ((Image{{L"myvpnui.exe", before.at(L"myvpnui.exe")}}), ImageOf(scratch.backUp));
}
