#pragma once
// An in-test Task Scheduler 1.0: any trigger type, refused Activates, and a count of live objects.
#include <windows.h>
#include <mstask.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace fake_tasks {

// One-line members of the in-test COM objects.
#define RETURNS(type, method, value, ...) \
    type STDMETHODCALLTYPE method(__VA_ARGS__) override { return value; }
#define NOTIMPL(method, ...) RETURNS(HRESULT, method, E_NOTIMPL, __VA_ARGS__)

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
    std::vector<std::wstring> activated;  // every name asked of Activate
    std::vector<std::wstring> ran;        // every task asked to run
    std::atomic<int> liveObjects{0};

    static wchar_t* Text(const std::wstring& text) {
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        return static_cast<wchar_t*>(std::memcpy(CoTaskMemAlloc(bytes), text.c_str(), bytes));
    }
};

// Reference counting shared by the in-test objects, each counted alive while it lives.
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
    RETURNS(HRESULT, Run, (world.ran.push_back(task.name), S_OK), void)
    NOTIMPL(CreateTrigger, WORD*, ITaskTrigger**) NOTIMPL(DeleteTrigger, WORD) NOTIMPL(GetTriggerString, WORD, LPWSTR*)
    NOTIMPL(GetRunTimes, const LPSYSTEMTIME, const LPSYSTEMTIME, WORD*, LPSYSTEMTIME*) NOTIMPL(SetIdleWait, WORD, WORD)
    NOTIMPL(GetIdleWait, WORD*, WORD*) NOTIMPL(Terminate, void) NOTIMPL(EditWorkItem, HWND, DWORD)
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
        for (const FakeTask& task : world.tasks) {
            if (task.name != asked) continue;
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

// A factory handing out the in-test scheduler of `world`.
inline auto FactoryOf(Scheduler& world) {
    return [&world](ITaskScheduler** scheduler) {
        *scheduler = new TaskScheduler(world);
        return S_OK;
    };
}

}  // namespace fake_tasks
