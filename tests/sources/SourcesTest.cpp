// The version reader, and the logon-task source over an in-test Task Scheduler and Wine's own.
#include <gtest/gtest.h>

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "FakeTaskScheduler.h"
#include "RegistrySandbox.h"
#include "Shortcuts.h"
#include "TestHelpers.h"
#include "takeover/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "sources/Companies.h"
#include "sources/FileVersionInfo.h"
#include "win/Text.h"

using Microsoft::WRL::ComPtr;
using Strings = std::vector<std::string>;

namespace {

using namespace fake_tasks;

std::string Fixture(const char* file) { return FixtureDir() + "\\" + file; }

constexpr LANGID kGerman = 0x0407;
constexpr LANGID kEnglishUs = 0x0409;

std::string CompanyFor(const char* file, LANGID language) {
    CFileVersionInfo info;
    EXPECT_TRUE(info.ReadVersionInfo(Fixture(file).c_str(), language)) << file;
    return info.GetCompanyName();
}

TEST(FileVersionInfo, ChoosesTheCompanyByTheFiveRulesAndNothingSurvivesAReread) {
    // Rule 1: the exact language, even when another entry comes first.
    EXPECT_EQ("Company 0409", CompanyFor("ver_de_en.dll", kEnglishUs));
    // Rule 2: another variety of the user's language (Austrian German).
    EXPECT_EQ("Company 0407", CompanyFor("ver_de_en.dll", 0x0C07));
    // Rule 3: neutral comes before English.
    EXPECT_EQ("Company 0000", CompanyFor("ver_neutral_en.dll", kGerman));
    // Rule 4: English when nothing fits the user.
    EXPECT_EQ("Company 0409", CompanyFor("ver_en_us.dll", kGerman));
    // Rule 5: the first entry when nothing else fits.
    EXPECT_EQ("Company 0411", CompanyFor("ver_ja.dll", kEnglishUs));
    // A translation table cut inside its last entry is not read past its end.
    const WORD table[] = {0x0807, 0x04E4, 0x0409, 0x04B0, 0x0007, 0x0000};
    DWORD found = 0;
    EXPECT_FALSE(CFileVersionInfo::FindTranslation(table, 10, 0x0007, &found, CFileVersionInfo::LanguageMatch::Exact));

    CFileVersionInfo info;
    EXPECT_TRUE(info.ReadVersionInfo(Fixture("ver_nocompany.dll").c_str(), kEnglishUs));
    EXPECT_EQ("", info.GetCompanyName());
    EXPECT_EQ("no company here", info.GetText(1)) << "not the fixture's block";
    // A file without any version resource, then one that does not exist: nothing left of the last.
    for (const char* missing : {"ver_none.dll", "no such file.dll"}) {
        ASSERT_TRUE(info.ReadVersionInfo(Fixture("ver_en_us.dll").c_str(), kEnglishUs));
        EXPECT_EQ("Company 0409", info.GetCompanyName());
        EXPECT_FALSE(info.ReadVersionInfo(Fixture(missing).c_str(), kEnglishUs)) << missing;
        EXPECT_EQ("", info.GetCompanyName()) << missing;
    }
}

// A fixture's version block, as its file holds it.
std::vector<BYTE> BlockOf(const char* file) {
    const HMODULE module = LoadLibraryExA(Fixture(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    std::vector<BYTE> block(data, data + SizeofResource(module, found));
    FreeLibrary(module);
    return block;
}

// A block ending where an inaccessible page begins: a read past its end faults.
class GuardedBlock {
public:
    explicit GuardedBlock(const std::vector<BYTE>& block)
        : pages_(static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {
        DWORD old = 0;
        VirtualProtect(pages_ + kPage, kPage, PAGE_NOACCESS, &old);
        data_ = pages_ + kPage - block.size();
        std::copy(block.begin(), block.end(), data_);
    }
    ~GuardedBlock() { VirtualFree(pages_, 0, MEM_RELEASE); }
    const BYTE* Data() const { return data_; }

private:
    static constexpr std::size_t kPage = 4096;
    BYTE* pages_;
    BYTE* data_;
};

// Damaged copies of a real block read without a fault, giving a text within it or none.
TEST(FileVersionInfo, ReadsDamagedBlocksWithinTheirBounds) {
    const std::vector<BYTE> real = BlockOf("ver_de_en.dll");
    CFileVersionInfo info;
    ASSERT_TRUE(info.ReadVersionBlock(real.data(), real.size(), kEnglishUs));
    EXPECT_EQ("Company 0409", info.GetCompanyName());
    // The fixture program's Translation claims 65,520 bytes of its 272-byte block.
    EXPECT_EQ(kUnknownCompany, CompanyOrUnknown(info, Fixture("ver_overlong.exe").c_str()));

    std::mt19937 random(20261207);
    const WORD words[] = {0, 1, 2, 3, 5, 6, 0x7FFF, 0xFFF0, 0xFFFF};
    int readable = 0;
    for (int round = 0; round < 1000; ++round) {
        std::vector<BYTE> block = real;
        for (int damage = 1 + random() % 3; damage > 0 && block.size() >= 2; --damage) {
            const std::size_t at = (random() % (block.size() / 2)) * 2;
            const WORD word = random() % 2 ? words[random() % std::size(words)] : WORD(random());
            switch (random() % 3) {
            case 0: std::memcpy(&block[at], &word, sizeof word); break;    // a length, a type or a text
            case 1: if (!block[at] && !block[at + 1]) block[at] = 'A'; break;  // a NUL gone
            default: block.resize(at); break;                                // cut
            }
        }
        const GuardedBlock guarded(block);
        readable += info.ReadVersionBlock(guarded.Data(), block.size(), kEnglishUs);
        const std::wstring company = win::Wide(info.GetCompanyName()).value_or(L"\n");
        const BYTE* text = reinterpret_cast<const BYTE*>(company.data());
        EXPECT_TRUE(company.empty() || std::search(block.begin(), block.end(), text, text + company.size() * 2) !=
                                           block.end())
            << "round " << round << ": " << info.GetCompanyName();
    }
    EXPECT_LT(100, readable) << "no block read";
}

EntryList listed;  // what the last pass listed, in list order

// A field of each listed entry; text fields as strings.
template <typename Field>
auto Column(Field StartupEntry::*field) {
    constexpr bool text = std::is_same_v<Field, std::wstring>;  // compared as the lines print it
    std::vector<std::conditional_t<text, std::string, Field>> column;
    for (const StartupEntry& entry : listed) {
        if constexpr (text) column.push_back(U8(entry.*field));
        else column.push_back(entry.*field);
    }
    return column;
}

// Lists the tasks, each in front of the one found before, as the engine does.
void ListTasks(const TaskSchedulerFactory& factory) { listed = ReadLogonTasks(factory); }

// The names a pass lists (every object released); narrow lines around it keep the diagnostics' place.
Strings PassOver(Scheduler& world, std::string* output = nullptr, bool rebuild = false) {
    std::optional<TestEngine> engine;  // only for a rebuild: a list of its own asks the scheduler too
    if (rebuild) engine.emplace(), engine->model.SetTaskSchedulerFactory(FactoryOf(world));
    testing::internal::CaptureStdout();
    std::fputs("<\n", stdout), std::fflush(stdout);
    if (rebuild) {
        engine->manager.RebuildList();
        EXPECT_TRUE(engine->model.WaitForLogonTasks(10000));
        listed = engine->List();
        // The window's copy (into rows it keeps) lists the same entries, tasks first, in the same order.
        EntryList rows;
        engine->model.CopyList(rows);
        Strings names, rowNames;
        for (const StartupEntry& entry : listed) names.push_back(U8(entry.name));
        for (const StartupEntry& entry : rows) rowNames.push_back(U8(entry.name));
        EXPECT_EQ(names, rowNames);
    } else {
        ListTasks(FactoryOf(world));
    }
    std::fputs(">\n", stdout), std::fflush(stdout);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, printed.find("<\n")) << printed;
    EXPECT_EQ(printed.size() - 2, printed.rfind(">\n")) << printed;
    EXPECT_EQ(0, world.liveObjects.load()) << "scheduler objects never released";
    if (output) *output = printed;
    return Column(&StartupEntry::name);
}

TEST(LogonTasks, BatchesOfFiveComeOutEachReversedInEnumerationOrderAheadOfBackUpEntries) {
    RegistrySandbox sandbox;
    sandbox.PutText(HKEY_CURRENT_USER, keys::kBackUp, "userApp", "C:\\u.exe");
    sandbox.PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "t3", "C:\\m.exe");
    Scheduler world;
    for (const wchar_t* name : {L"t1", L"t2", L"t3", L"t4", L"t5", L"t6", L"t7"}) world.tasks.push_back({name});
    EXPECT_EQ((Strings{"t5", "t4", "t3", "t2", "t1", "t7", "t6", "t3", "userApp"}), PassOver(world, nullptr, true));
    // A task named like a BackUp value is listed beside it; neither is relabelled.
    std::vector<Origin> origins(7, Origin::TaskScheduler);
    origins.insert(origins.end(), {Origin::AllUsers, Origin::CurrentUser});
    EXPECT_EQ(origins, Column(&StartupEntry::origin));
    EXPECT_EQ("C:\\Programs\\t3.exe", Column(&StartupEntry::command).at(2));
}

TEST(LogonTasks, OnlyAFirstTriggerAtLogonCountsByItsTypeOrItsTextAndNothingIsCut) {
    Scheduler world;
    world.tasks = {
        {L"typeOnly", TASK_EVENT_TRIGGER_AT_LOGON, std::nullopt},  // a system that gives no trigger text
        {L"\u00fcbersetzt \u65e5\u672c", TASK_EVENT_TRIGGER_AT_LOGON, L"Bei Benutzeranmeldung ausf\u00fchren"},
        {L"textOnly", TASK_TIME_TRIGGER_ONCE},
        {L"dailyThenLogon", TASK_TIME_TRIGGER_DAILY, L"At 09:00 every day", 2},
        {L"almost", TASK_TIME_TRIGGER_DAILY, L"Run at user logon "},
        // A cut name or program would name another task or program.
        {std::wstring(255, L'n')},
        {L"longProgram", TASK_EVENT_TRIGGER_AT_LOGON, L"", 1, false, L"C:\\" + std::wstring(252, L'p')},
        {L"fits", TASK_EVENT_TRIGGER_AT_LOGON, L"", 1, false, L"C:\\" + std::wstring(251, L'p')},
    };
    std::string output;
    // Names and programs come out in the UTF-8 code page the program runs with.
    EXPECT_EQ((Strings{"textOnly", "\xC3\xBC" "bersetzt \xE6\x97\xA5\xE6\x9C\xAC", "typeOnly", "fits"}),
              PassOver(world, &output));
    EXPECT_EQ(8u, world.activated.size()) << "a task not listed ended the pass";
    EXPECT_EQ(254u, Column(&StartupEntry::command).at(3).size());
    EXPECT_NE(std::string::npos, output.find("longer than 254 characters: " + std::string(255, 'n') + "\n"));
    EXPECT_NE(std::string::npos, output.find("longer than 254 characters: longProgram\n"));
}

TEST(LogonTasks, FailedActivateOrMissingTriggerEndsThePass) {
    Scheduler world;
    world.tasks = {{L"a1"}, {L"a2"}, {L"a3"}, {L"a4"}};
    world.tasks[2].triggers = 0;
    EXPECT_EQ((Strings{"a2", "a1"}), PassOver(world));
    EXPECT_EQ((std::vector<std::wstring>{L"a1", L"a2", L"a3"}), world.activated);  // a4 never examined

    world.tasks[2].triggers = 1;
    world.tasks[1].activateFails = true;
    world.activated.clear();
    std::string output;
    EXPECT_EQ((Strings{"a1"}), PassOver(world, &output));
    EXPECT_EQ((std::vector<std::wstring>{L"a1", L"a2"}), world.activated);
    EXPECT_NE(std::string::npos, output.find("a2\nFailed calling ITaskScheduler::Activate: error = 0x80070005\n"))
        << output;
}

// Saves a task with one trigger of the given type through the real scheduler.
bool SaveRealTask(ITaskScheduler* scheduler, const wchar_t* name, TASK_TRIGGER_TYPE type) {
    ComPtr<ITask> task;
    ComPtr<ITaskTrigger> trigger;
    ComPtr<IPersistFile> file;
    WORD index = 0;
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof data;
    data.wBeginYear = 2024;
    data.wBeginMonth = data.wBeginDay = data.Type.Daily.DaysInterval = 1;
    data.TriggerType = type;
    IUnknown** item = reinterpret_cast<IUnknown**>(task.GetAddressOf());
    return SUCCEEDED(scheduler->NewWorkItem(name, CLSID_CTask, IID_ITask, item)) &&
           SUCCEEDED(task->SetApplicationName(L"C:\\windows\\system32\\notepad.exe")) &&
           SUCCEEDED(task->CreateTrigger(&index, &trigger)) && SUCCEEDED(trigger->SetTrigger(&data)) &&
           SUCCEEDED(task.As(&file)) && SUCCEEDED(file->Save(nullptr, TRUE));
}

TEST(ProgramPathFromCommand, DerivesThePathOfEveryKindOfCommand) {
    char windows[MAX_PATH] = {};
    const std::string windir(windows, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"\"C:\\Program Files\\App\\app.exe\" -min", "C:\\Program Files\\App\\app.exe"},
        {"C:\\Tools\\tool.exe /s", "C:\\Tools\\tool.exe"},
        {"\"C:\\Program Files\\App\\app\" -x", "C:\\Program Files\\App\\app.exe"},
        {"rundll32 shell32.dll,Control_RunDLL", "rundll32.exe"},
        {"%systemroot%\\system32\\svcmon", windir + "\\system32\\svcmon.exe"},
        {"C:\\PROGRA~1\\APP\\APP.EXE /s", "C:\\PROGRA~1\\APP\\APP.EXE"},
        {"\"C:\\Tool Box\\t.Exe\" /x", "C:\\Tool Box\\t.Exe"},
        {"\"%systemroot%\\app.exe\"", "%systemroot%\\app.exe"},
        {"C:\\exec\\tool.com -x", "C:\\exec\\tool.com.exe"},
        // The replacement matches the lower-case spelling only, and every occurrence.
        {"%SystemRoot%\\svcmon", "%SystemRoot%\\svcmon.exe"},
        {"%systemroot%\\a;%systemroot%\\b", windir + "\\a;" + windir + "\\b.exe"},
        {"", ".exe"},
        {"\"unclosed path", "unclosed path.exe"},
    };
    for (const auto& [command, path] : rows)
        EXPECT_EQ(path, ProgramPathFromCommand(command)) << command;
}

TEST(Companies, AStartupFolderItemShowsItsShortcutsTargetOrItsProgram) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const std::wstring program = *win::Wide(Fixture("ver_en_us.dll")), base = program + L".item";
    ASSERT_TRUE(SUCCEEDED(test_shortcuts::Make(base + L".lnk", program, L"", L"")));
    EntryList list;
    for (const wchar_t* extension : {L".bat", L".exe", L".lnk"}) {
        if (std::wstring(extension) != L".lnk") CopyFileW(program.c_str(), (base + extension).c_str(), FALSE);
        StartupEntry entry;
        entry.command = W(Fixture("ver_en_us.dll"));
        entry.item = base + extension;
        list.InsertFront(entry);
    }
    CFileVersionInfo versionInfo;
    for (StartupEntry& entry : list) FillCompany(entry, versionInfo);
    EXPECT_EQ((Strings{"Company 0409", "Company 0409", "Unknown"}), (Strings{U8(list.begin()->company),
              U8(std::next(list.begin())->company), U8(std::next(list.begin(), 2)->company)}));
    for (const wchar_t* extension : {L".bat", L".exe", L".lnk"}) DeleteFileW((base + extension).c_str());
    CoUninitialize();
}

// Real tasks are saved only in Wine's scheduler; its Activate refuses ".job" names: the pass retries bare.
TEST(LogonTasksOnWine, RealSchedulerPassFindsSavedLogonTasksOnly) {
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "saves real tasks";
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<ITaskScheduler> scheduler;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                               reinterpret_cast<void**>(scheduler.GetAddressOf()))));
        EXPECT_TRUE(SaveRealTask(scheduler.Get(), L"PacewickTestLogon", TASK_EVENT_TRIGGER_AT_LOGON) &&
                    SaveRealTask(scheduler.Get(), L"PacewickTestDaily", TASK_TIME_TRIGGER_DAILY));
        testing::internal::CaptureStdout();
        ListTasks(nullptr);
        const std::string output = testing::internal::GetCapturedStdout();
        scheduler->Delete(L"PacewickTestLogon");
        scheduler->Delete(L"PacewickTestDaily");
        EXPECT_EQ((Strings{"PacewickTestLogon.job"}), Column(&StartupEntry::name)) << output;
        EXPECT_EQ((Strings{"C:\\windows\\system32\\notepad.exe"}), Column(&StartupEntry::command));
        EXPECT_EQ((std::vector<Origin>{Origin::TaskScheduler}), Column(&StartupEntry::origin));
    }
    CoUninitialize();
}

}  // namespace
