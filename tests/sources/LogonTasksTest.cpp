// The logon-task source over an in-test Task Scheduler (Wine's gives no trigger texts), and over Wine's own.
#include <gtest/gtest.h>

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"

using Microsoft::WRL::ComPtr;
using Strings = std::vector<std::string>;

// One-line members of the in-test COM objects.
#define RETURNS(type, method, value, ...) \
    type STDMETHODCALLTYPE method(__VA_ARGS__) override { return value; }
#define NOTIMPL(method, ...) RETURNS(HRESULT, method, E_NOTIMPL, __VA_ARGS__)

namespace {

struct FakeTask {
    std::wstring name;
    TASK_TRIGGER_TYPE type = TASK_EVENT_TRIGGER_AT_LOGON;
    std::optional<std::wstring> text = L"Run at user logon";  // none: the trigger gives no text
    WORD triggers = 1;  // a second one starts the task at logon
    bool activateFails = false;
    std::wstring application = L"C:\\Programs\\" + name + L".exe";
};

struct Scheduler {
    std::vector<FakeTask> tasks;
    bool refuseJobNames = false;          // as Wine's Activate does
    std::vector<std::wstring> activated;  // every name asked of Activate
    std::atomic<int> liveObjects{0};

    static wchar_t* Text(const std::wstring& text) {
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        return static_cast<wchar_t*>(std::memcpy(CoTaskMemAlloc(bytes), text.c_str(), bytes));
    }
};

// Reference counting shared by the in-test objects, which count themselves
// alive so that a test can tell whether the pass released everything.
template <typename Interface>
struct Counted : Interface {
    explicit Counted(Scheduler& world, const FakeTask& task = {}) : world(world), task(task) { ++world.liveObjects; }
    virtual ~Counted() { --world.liveObjects; }
    RETURNS(HRESULT, QueryInterface, (*object = nullptr, E_NOINTERFACE), REFIID, void** object)  // never asked
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        return left ? left : (delete this, 0);
    }

    Scheduler& world;
    const FakeTask task;
    std::atomic<ULONG> references{1};
};

struct Trigger : Counted<ITaskTrigger> {
    using Counted::Counted;
    HRESULT STDMETHODCALLTYPE GetTrigger(PTASK_TRIGGER trigger) override {
        if (trigger->cbTriggerSize != sizeof(TASK_TRIGGER)) return E_INVALIDARG;
        trigger->TriggerType = task.type;
        return S_OK;
    }
    RETURNS(HRESULT, GetTriggerString, (*text = task.text ? world.Text(*task.text) : nullptr) ? S_OK : E_NOTIMPL,
            LPWSTR* text)
    NOTIMPL(SetTrigger, const PTASK_TRIGGER)
};

struct Task : Counted<ITask> {
    using Counted::Counted;
    HRESULT STDMETHODCALLTYPE GetTrigger(WORD index, ITaskTrigger** trigger) override {
        *trigger = index < task.triggers ? new Trigger(world, index == 0 ? task : FakeTask{task.name}) : nullptr;
        return *trigger ? S_OK : E_INVALIDARG;
    }
    RETURNS(HRESULT, GetTriggerCount, (*count = task.triggers, S_OK), WORD* count)
    RETURNS(HRESULT, GetApplicationName, (*name = world.Text(task.application), S_OK), LPWSTR* name)
    NOTIMPL(CreateTrigger, WORD*, ITaskTrigger**) NOTIMPL(DeleteTrigger, WORD) NOTIMPL(GetTriggerString, WORD, LPWSTR*)
    NOTIMPL(GetRunTimes, const LPSYSTEMTIME, const LPSYSTEMTIME, WORD*, LPSYSTEMTIME*) NOTIMPL(SetIdleWait, WORD, WORD)
    NOTIMPL(GetIdleWait, WORD*, WORD*) NOTIMPL(Run, void) NOTIMPL(Terminate, void) NOTIMPL(EditWorkItem, HWND, DWORD)
    NOTIMPL(GetMostRecentRunTime, SYSTEMTIME*) NOTIMPL(GetStatus, HRESULT*) NOTIMPL(GetExitCode, DWORD*)
    NOTIMPL(SetComment, LPCWSTR) NOTIMPL(GetComment, LPWSTR*) NOTIMPL(SetCreator, LPCWSTR) NOTIMPL(GetCreator, LPWSTR*)
    NOTIMPL(SetWorkItemData, WORD, BYTE[]) NOTIMPL(GetWorkItemData, WORD*, BYTE**) NOTIMPL(SetErrorRetryCount, WORD)
    NOTIMPL(GetErrorRetryCount, WORD*) NOTIMPL(SetErrorRetryInterval, WORD) NOTIMPL(GetErrorRetryInterval, WORD*)
    NOTIMPL(SetFlags, DWORD) NOTIMPL(GetFlags, DWORD*) NOTIMPL(SetAccountInformation, LPCWSTR, LPCWSTR)
    NOTIMPL(GetAccountInformation, LPWSTR*) NOTIMPL(SetApplicationName, LPCWSTR) NOTIMPL(SetParameters, LPCWSTR)
    NOTIMPL(GetParameters, LPWSTR*) NOTIMPL(SetWorkingDirectory, LPCWSTR) NOTIMPL(GetWorkingDirectory, LPWSTR*)
    NOTIMPL(SetPriority, DWORD) NOTIMPL(GetPriority, DWORD*) NOTIMPL(SetTaskFlags, DWORD) NOTIMPL(GetTaskFlags, DWORD*)
    NOTIMPL(SetMaxRunTime, DWORD) NOTIMPL(GetMaxRunTime, DWORD*) NOTIMPL(GetNextRunTime, SYSTEMTIME*)
};

struct Enumerator : Counted<IEnumWorkItems> {
    using Counted::Counted;
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, LPWSTR** names, ULONG* fetched) override {
        *fetched = static_cast<ULONG>(std::min<std::size_t>(world.tasks.size() - next, wanted));
        *names = nullptr;
        if (*fetched == 0) return S_FALSE;
        *names = static_cast<LPWSTR*>(CoTaskMemAlloc(*fetched * sizeof(LPWSTR)));
        for (ULONG index = 0; index < *fetched; ++index) (*names)[index] = world.Text(world.tasks[next++].name);
        return *fetched == wanted ? S_OK : S_FALSE;
    }
    NOTIMPL(Skip, ULONG) NOTIMPL(Reset, void) NOTIMPL(Clone, IEnumWorkItems**)
    std::size_t next = 0;
};

struct TaskScheduler : Counted<ITaskScheduler> {
    using Counted::Counted;
    RETURNS(HRESULT, Enum, (*enumerator = new Enumerator(world), S_OK), IEnumWorkItems** enumerator)
    HRESULT STDMETHODCALLTYPE Activate(LPCWSTR name, REFIID iid, IUnknown** object) override {
        *object = nullptr;
        const std::wstring asked = world.activated.emplace_back(name);
        if (iid != IID_ITask) return E_NOINTERFACE;
        if (world.refuseJobNames && asked.size() > 4 && asked.compare(asked.size() - 4, 4, L".job") == 0)
            return E_INVALIDARG;
        for (const FakeTask& task : world.tasks) {
            if (task.name != asked && task.name != asked + L".job") continue;
            if (task.activateFails) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
            *object = new Task(world, task);
            return S_OK;
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    NOTIMPL(SetTargetComputer, LPCWSTR) NOTIMPL(GetTargetComputer, LPWSTR*) NOTIMPL(Delete, LPCWSTR)
    NOTIMPL(NewWorkItem, LPCWSTR, REFCLSID, REFIID, IUnknown**) NOTIMPL(AddWorkItem, LPCWSTR, IScheduledWorkItem*)
    NOTIMPL(IsOfType, LPCWSTR, REFIID)
};

template <std::size_t N>
Strings Column(char (StartupEntry::*field)[N]) {
    Strings column;
    for (const StartupEntry& entry : CStartupManager::GetInstance()->CopyList()) column.emplace_back(entry.*field);
    return column;
}

// The names listed by a pass over the in-test scheduler (alone, or in a rebuild of the whole list), which must
// release every object it was given. The narrow lines around the pass show that its wide diagnostics keep their
// place among the program's other output.
Strings PassOver(Scheduler& world, std::string* output = nullptr, bool rebuild = false) {
    CStartupManager* manager = CStartupManager::GetInstance();
    manager->List().Clear();
    manager->SetTaskSchedulerFactory([&world](ITaskScheduler** scheduler) {
        *scheduler = new TaskScheduler(world);
        return S_OK;
    });
    testing::internal::CaptureStdout();
    std::printf("<\n");
    std::fflush(stdout);
    rebuild ? static_cast<void>(manager->RebuildList(manager->List())) : manager->AddLogonTasks();
    std::printf(">\n");
    std::fflush(stdout);
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
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kBackUp, "userApp", "C:\\u.exe");
    RegistrySandbox::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "t3", "C:\\m.exe");
    Scheduler world;
    for (const wchar_t* name : {L"t1", L"t2", L"t3", L"t4", L"t5", L"t6", L"t7"}) world.tasks.push_back({name});
    EXPECT_EQ((Strings{"t5", "t4", "t3", "t2", "t1", "t7", "t6", "t3", "userApp"}), PassOver(world, nullptr, true));
    // A task named like a BackUp value is listed beside it; neither is relabelled.
    Strings origins(7, "Task Scheduler");
    origins.insert(origins.end(), {"all user start-up list", "Current user start-up list"});
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
    CStartupManager::GetInstance()->List().Clear();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<ITaskScheduler> scheduler;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                               reinterpret_cast<void**>(scheduler.GetAddressOf()))));
        EXPECT_TRUE(SaveRealTask(scheduler.Get(), L"PacewickTestLogon", TASK_EVENT_TRIGGER_AT_LOGON) &&
                    SaveRealTask(scheduler.Get(), L"PacewickTestDaily", TASK_TIME_TRIGGER_DAILY));
        testing::internal::CaptureStdout();
        CStartupManager::GetInstance()->AddLogonTasks();
        const std::string output = testing::internal::GetCapturedStdout();
        scheduler->Delete(L"PacewickTestLogon");
        scheduler->Delete(L"PacewickTestDaily");
        EXPECT_EQ((Strings{"PacewickTestLogon.job"}), Column(&StartupEntry::name)) << output;
        EXPECT_EQ((Strings{"C:\\windows\\system32\\notepad.exe"}), Column(&StartupEntry::command));
        EXPECT_EQ((Strings{"Task Scheduler"}), Column(&StartupEntry::origin));
    }
    CoUninitialize();
}

}  // namespace
