// The logon-task source: lists the Task Scheduler's tasks whose first trigger
// starts them at user logon. The tasks are only read, never changed.
#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <cwchar>
#include <list>
#include <memory>

#include "sources/FileVersionInfo.h"
#include "sources/LogonTasks.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

// The published Task Scheduler 1.0 identifiers, spelled out so that the build
// does not depend on an import library that carries them.
constexpr CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

constexpr ULONG kBatchSize = 5;
constexpr const wchar_t* kLogonTriggerText = L"Run at user logon";
constexpr const wchar_t* kJobExtension = L".job";

struct CoTaskMemDeleter {
    void operator()(void* block) const { CoTaskMemFree(block); }
};
using CoTaskText = std::unique_ptr<wchar_t, CoTaskMemDeleter>;

// Fetches a text the callee allocates; the holder frees it on every path.
template <typename Call>
CoTaskText FetchText(Call call) {
    LPWSTR text = nullptr;
    if (FAILED(call(&text))) {
        CoTaskMemFree(text);
        return nullptr;
    }
    return CoTaskText(text);
}

void PrintTextLine(const wchar_t* text) { PrintWideLine(L"%ls\n", text ? text : L""); }

bool EndsWithJobExtension(const std::wstring& name) {
    const std::size_t length = std::wcslen(kJobExtension);
    return name.size() > length && _wcsicmp(name.c_str() + name.size() - length, kJobExtension) == 0;
}

HRESULT CreateScheduler(const TaskSchedulerFactory& factory, ComPtr<ITaskScheduler>* scheduler) {
    if (factory) return factory(scheduler->ReleaseAndGetAddressOf());
    return CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler,
                            reinterpret_cast<void**>(scheduler->ReleaseAndGetAddressOf()));
}

// Phase one: every task name, each batch in enumeration order, the batches in
// reverse order (each batch is walked backwards and every name goes in front).
std::list<std::wstring> GatherTaskNames(const TaskSchedulerFactory& factory) {
    std::list<std::wstring> names;
    ComPtr<IEnumWorkItems> enumerator;
    {
        ComPtr<ITaskScheduler> scheduler;
        if (FAILED(CreateScheduler(factory, &scheduler)) || !scheduler) return names;
        if (FAILED(scheduler->Enum(&enumerator)) || !enumerator) return names;
    }
    for (;;) {
        LPWSTR* batch = nullptr;
        ULONG fetched = 0;
        const HRESULT status = enumerator->Next(kBatchSize, &batch, &fetched);
        if (FAILED(status) || fetched == 0 || !batch) {
            CoTaskMemFree(batch);
            break;
        }
        for (ULONG index = fetched; index-- > 0;) {
            CoTaskText name(batch[index]);
            names.emplace_front(name ? name.get() : L"");
            PrintTextLine(name.get());
        }
        CoTaskMemFree(batch);
    }
    return names;
}

// The enumeration names tasks by their file (with ".job"), which some Task
// Schedulers refuse to activate; the bare name then finds the same task.
HRESULT ActivateTask(ITaskScheduler* scheduler, const std::wstring& name, ComPtr<ITask>* task) {
    HRESULT status = scheduler->Activate(name.c_str(), kIidTask,
                                         reinterpret_cast<IUnknown**>(task->ReleaseAndGetAddressOf()));
    if (FAILED(status) && EndsWithJobExtension(name)) {
        const std::wstring bare = name.substr(0, name.size() - std::wcslen(kJobExtension));
        status = scheduler->Activate(bare.c_str(), kIidTask,
                                     reinterpret_cast<IUnknown**>(task->ReleaseAndGetAddressOf()));
    }
    if (SUCCEEDED(status) && !*task) status = E_POINTER;
    return status;
}

// A logon trigger is known by its type; the English text alone would miss it on
// every other language of Windows, and on systems that give no text at all.
bool IsLogonTrigger(ITaskTrigger* trigger, const CoTaskText& text) {
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof data;
    if (SUCCEEDED(trigger->GetTrigger(&data)) && data.TriggerType == TASK_EVENT_TRIGGER_AT_LOGON) return true;
    return text && std::wcscmp(text.get(), kLogonTriggerText) == 0;
}

// Builds the entry of an accepted task; false when its name or command does not
// fit a field, since a cut name or command would name another task or program.
bool BuildTaskEntry(const std::wstring& taskName, const wchar_t* application, CFileVersionInfo& reader,
                    StartupEntry* entry) {
    const std::optional<std::string> name = WideToAnsi(taskName.c_str());
    const std::optional<std::string> command = WideToAnsi(application);
    // A text that does not convert is listed empty, as it always was.
    if (!FitsEntry(name.value_or(std::string())) || !FitsEntry(command.value_or(std::string()))) {
        PrintWideLine(L"Task not listed, its name or program is longer than 254 characters: %ls\n",
                      taskName.c_str());
        return false;
    }
    entry->name = name ? taskName : std::wstring();
    entry->command = command ? std::wstring(application) : std::wstring();
    entry->company = FitShown(CompanyOrUnknown(reader, command.value_or(std::string()).c_str()));
    entry->origin = Origin::TaskScheduler;
    return true;
}

// What examining one task tells the pass.
enum class TaskOutcome { Listed, Skipped, Stop };

// Phase two for one task.
TaskOutcome ExamineTask(const TaskSchedulerFactory& factory, const std::wstring& name, CFileVersionInfo& reader,
                        StartupEntry* entry) {
    ComPtr<ITask> task;
    {
        ComPtr<ITaskScheduler> scheduler;
        if (FAILED(CreateScheduler(factory, &scheduler)) || !scheduler) return TaskOutcome::Stop;
        const HRESULT status = ActivateTask(scheduler.Get(), name, &task);
        if (FAILED(status)) {
            PrintWideLine(L"Failed calling ITaskScheduler::Activate: ");
            PrintWideLine(L"error = 0x%x\n", static_cast<unsigned>(status));
            return TaskOutcome::Stop;
        }
    }
    ComPtr<ITaskTrigger> trigger;
    if (FAILED(task->GetTrigger(0, &trigger)) || !trigger) return TaskOutcome::Stop;

    const CoTaskText triggerText = FetchText([&](LPWSTR* text) { return trigger->GetTriggerString(text); });
    if (!IsLogonTrigger(trigger.Get(), triggerText)) return TaskOutcome::Skipped;

    if (triggerText) PrintWideLine(L"%ls", triggerText.get());
    const CoTaskText application = FetchText([&](LPWSTR* text) { return task->GetApplicationName(text); });
    PrintTextLine(application.get());
    return BuildTaskEntry(name, application.get(), reader, entry) ? TaskOutcome::Listed : TaskOutcome::Skipped;
}

}  // namespace

EntryList ReadLogonTasks(const TaskSchedulerFactory& factory) {
    EntryList entries;
    CFileVersionInfo reader;
    for (const std::wstring& name : GatherTaskNames(factory)) {
        PrintTextLine(name.c_str());
        StartupEntry entry;
        const TaskOutcome outcome = ExamineTask(factory, name, reader, &entry);
        if (outcome == TaskOutcome::Stop) break;
        if (outcome == TaskOutcome::Listed) entries.InsertFront(std::move(entry));
    }
    return entries;
}

std::optional<std::string> WideToAnsi(const wchar_t* text) {
    // UTF-8, like every text of the list, whatever the process's code page.
    if (!text) return std::nullopt;
    return win::Utf8(text);
}

bool RunLogonTask(const TaskSchedulerFactory& factory, const std::wstring& name) {
    ComPtr<ITaskScheduler> scheduler;
    ComPtr<ITask> task;
    const HRESULT status = FAILED(CreateScheduler(factory, &scheduler)) || !scheduler
                               ? E_FAIL
                               : ActivateTask(scheduler.Get(), name, &task);
    if (SUCCEEDED(status) && SUCCEEDED(task->Run())) return true;
    PrintWideLine(L"Task could not be run: %ls\n", name.c_str());
    return false;
}
