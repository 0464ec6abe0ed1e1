// The logon-task source over an in-test Task Scheduler (Wine's gives no trigger texts), and over Wine's own.
#include <gtest/gtest.h>

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <cstdio>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "FakeTaskScheduler.h"
#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"

using Microsoft::WRL::ComPtr;
using Strings = std::vector<std::string>;

namespace {

using namespace fake_tasks;

EntryList listed;  // what the last pass listed, in list order

// A field of each listed entry; text fields as strings.
template <typename Field>
auto Column(Field StartupEntry::*field) {
    std::vector<std::conditional_t<std::is_array_v<Field>, std::string, Field>> column;
    for (const StartupEntry& entry : listed) column.emplace_back(entry.*field);
    return column;
}

// Lists the tasks in front of a list, as the engine does.
void ListTasks(const TaskSchedulerFactory& factory) {
    listed.Clear();
    for (const StartupEntry& entry : ReadLogonTasks(factory)) listed.InsertFront(entry);
}

// The names listed by a pass over the in-test scheduler (alone, or in a rebuild of the whole list), which must
// release every object it was given. The narrow lines around the pass show that its wide diagnostics keep their
// place among the program's other output.
Strings PassOver(Scheduler& world, std::string* output = nullptr, bool rebuild = false) {
    CStartupManager* manager = CStartupManager::GetInstance();
    manager->SetTaskSchedulerFactory(FactoryOf(world));
    testing::internal::CaptureStdout();
    std::fputs("<\n", stdout), std::fflush(stdout);
    if (rebuild) {
        manager->RebuildList();
        EXPECT_TRUE(manager->WaitForLogonTasks(10000));
        listed = manager->CopyList();
    } else {
        ListTasks(FactoryOf(world));
    }
    std::fputs(">\n", stdout), std::fflush(stdout);
    const std::string printed = testing::internal::GetCapturedStdout();
    manager->SetTaskSchedulerFactory(nullptr);
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

TEST(LogonTasks, FailedActivateOrMissingTriggerEndsThePassAndJobNamesAreRetriedBare) {
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

    // File names refused by Activate are retried without ".job".
    world.refuseJobNames = true;
    world.activated.clear();
    world.tasks = {{L"first.job"}, {L"second.job"}, {L"missing.job"}, {L"after.job"}};
    world.tasks[2].activateFails = true;  // the bare name fails too: the pass ends
    EXPECT_EQ((Strings{"second.job", "first.job"}), PassOver(world));
    EXPECT_EQ((std::vector<std::wstring>{L"first.job", L"first", L"second.job", L"second", L"missing.job", L"missing"}),
              world.activated);
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

// Saves real tasks: only in Wine's scheduler, never on a developer's Windows.
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
