// The logon-task source, driven through the Task Scheduler 1.0 interfaces: an
// in-test scheduler (Wine's gives no trigger texts), and Wine's own one.
#include <gtest/gtest.h>

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"

using Microsoft::WRL::ComPtr;

namespace {

// --- watching the task allocator --------------------------------------------

// Sees every CoTaskMemFree, so that a test can tell whether each text the
// scheduler handed out was freed.
class AllocationWatch : public IMallocSpy {
public:
    AllocationWatch() { registered_ = SUCCEEDED(CoRegisterMallocSpy(this)); }
    ~AllocationWatch() {
        if (registered_) CoRevokeMallocSpy();
    }
    bool Registered() const { return registered_; }
    void* Track(void* block) {
        std::lock_guard<std::mutex> lock(mutex_);
        handedOut_.insert(block);
        return block;
    }
    std::size_t NotFreed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return handedOut_.size();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IMallocSpy) return *object = nullptr, E_NOINTERFACE;
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override {
        std::lock_guard<std::mutex> lock(mutex_);
        handedOut_.erase(request);
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    bool registered_ = false;
    std::mutex mutex_;
    std::set<void*> handedOut_;
};

// --- the in-test Task Scheduler ---------------------------------------------

// Not in every import library.
constexpr IID kIidEnumWorkItems = {0x148BD528, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

struct FakeTask {
    std::wstring name;  // as enumerated
    bool hasTrigger = true;
    TASK_TRIGGER_TYPE type = TASK_TIME_TRIGGER_DAILY;
    std::optional<std::wstring> text;  // none: the trigger gives no text
    std::wstring application = L"C:\\Programs\\app.exe";
    bool activateFails = false;
};

FakeTask Logon(const std::wstring& name) {
    FakeTask task;
    task.name = name;
    task.type = TASK_EVENT_TRIGGER_AT_LOGON;
    task.text = L"Run at user logon";
    task.application = L"C:\\Programs\\" + name + L".exe";
    return task;
}

struct Scheduler {
    std::vector<FakeTask> tasks;
    bool refuseJobNames = false;  // as Wine's Activate does
    std::vector<std::wstring> activated;  // every name asked of Activate
    std::vector<ULONG> batchRequests;
    std::atomic<int> liveObjects{0};
    AllocationWatch* watch = nullptr;

    wchar_t* Text(const std::wstring& text) {
        auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
        std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        return static_cast<wchar_t*>(watch ? watch->Track(copy) : copy);
    }
};

// Reference counting shared by the in-test objects; counts live objects so
// that a test can tell whether the pass released everything.
template <typename Interface>
class Counted : public Interface {
public:
    Counted(Scheduler& world, REFIID iid) : world_(world), iid_(iid) { ++world_.liveObjects; }
    virtual ~Counted() { --world_.liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != iid_) return *object = nullptr, E_NOINTERFACE;
        *object = this;
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    Scheduler& world_;

private:
    IID iid_;
    std::atomic<ULONG> references_{1};
};

class Trigger : public Counted<ITaskTrigger> {
public:
    Trigger(Scheduler& world, const FakeTask& task) : Counted(world, IID_ITaskTrigger), task_(task) {}
    HRESULT STDMETHODCALLTYPE SetTrigger(const PTASK_TRIGGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTrigger(PTASK_TRIGGER trigger) override {
        if (trigger->cbTriggerSize != sizeof(TASK_TRIGGER)) return E_INVALIDARG;
        trigger->TriggerType = task_.type;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTriggerString(LPWSTR* text) override {
        *text = task_.text ? world_.Text(*task_.text) : nullptr;
        return task_.text ? S_OK : E_NOTIMPL;
    }

private:
    FakeTask task_;
};

class Task : public Counted<ITask> {
public:
    Task(Scheduler& world, const FakeTask& task) : Counted(world, IID_ITask), task_(task) {}
    HRESULT STDMETHODCALLTYPE GetTrigger(WORD index, ITaskTrigger** trigger) override {
        *trigger = nullptr;
        if (index != 0 || !task_.hasTrigger) return E_INVALIDARG;
        *trigger = new Trigger(world_, task_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetApplicationName(LPWSTR* name) override {
        *name = world_.Text(task_.application);
        return S_OK;
    }
    // Not called by the pass.
    HRESULT STDMETHODCALLTYPE CreateTrigger(WORD*, ITaskTrigger**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTrigger(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTriggerCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTriggerString(WORD, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, WORD*, LPSYSTEMTIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetNextRunTime(SYSTEMTIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIdleWait(WORD, WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIdleWait(WORD*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Terminate() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EditWorkItem(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMostRecentRunTime(SYSTEMTIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(HRESULT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExitCode(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetComment(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetComment(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCreator(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCreator(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetWorkItemData(WORD, BYTE[]) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWorkItemData(WORD*, BYTE**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetErrorRetryCount(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetErrorRetryCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetErrorRetryInterval(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetErrorRetryInterval(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFlags(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFlags(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAccountInformation(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAccountInformation(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetApplicationName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetParameters(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParameters(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPriority(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTaskFlags(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTaskFlags(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMaxRunTime(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxRunTime(DWORD*) override { return E_NOTIMPL; }

private:
    FakeTask task_;
};

class Enumerator : public Counted<IEnumWorkItems> {
public:
    explicit Enumerator(Scheduler& world) : Counted(world, kIidEnumWorkItems) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, LPWSTR** names, ULONG* fetched) override {
        world_.batchRequests.push_back(wanted);
        *names = nullptr;
        *fetched = 0;
        const std::size_t left = world_.tasks.size() - next_;
        const ULONG count = static_cast<ULONG>(left < wanted ? left : wanted);
        if (count == 0) return S_FALSE;
        *names = static_cast<LPWSTR*>(CoTaskMemAlloc(count * sizeof(LPWSTR)));
        if (world_.watch) world_.watch->Track(*names);
        for (ULONG index = 0; index < count; ++index) (*names)[index] = world_.Text(world_.tasks[next_++].name);
        *fetched = count;
        return count == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWorkItems**) override { return E_NOTIMPL; }

private:
    std::size_t next_ = 0;
};

class TaskScheduler : public Counted<ITaskScheduler> {
public:
    explicit TaskScheduler(Scheduler& world) : Counted(world, IID_ITaskScheduler) {}
    HRESULT STDMETHODCALLTYPE Enum(IEnumWorkItems** enumerator) override {
        *enumerator = new Enumerator(world_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Activate(LPCWSTR name, REFIID iid, IUnknown** object) override {
        *object = nullptr;
        world_.activated.emplace_back(name);
        const std::wstring asked(name);
        if (iid != IID_ITask) return E_NOINTERFACE;
        if (world_.refuseJobNames && asked.size() > 4 && asked.compare(asked.size() - 4, 4, L".job") == 0)
            return E_INVALIDARG;
        for (const FakeTask& task : world_.tasks) {
            if (task.name != asked && task.name != asked + L".job") continue;
            if (task.activateFails) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
            *object = new Task(world_, task);
            return S_OK;
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE SetTargetComputer(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTargetComputer(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NewWorkItem(LPCWSTR, REFCLSID, REFIID, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddWorkItem(LPCWSTR, IScheduledWorkItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsOfType(LPCWSTR, REFIID) override { return E_NOTIMPL; }
};

// --- helpers ----------------------------------------------------------------

std::vector<std::string> Names(const EntryList& list) {
    std::vector<std::string> names;
    for (const StartupEntry& entry : list) names.emplace_back(entry.name);
    return names;
}

// Runs one pass over the given scheduler on the manager's list as it stands.
// The narrow lines around it show that its wide output keeps its place among
// the program's other diagnostics on the same stream.
std::string RunPass(Scheduler& world) {
    CStartupManager* manager = CStartupManager::GetInstance();
    manager->SetTaskSchedulerFactory([&world](ITaskScheduler** scheduler) {
        *scheduler = new TaskScheduler(world);
        return S_OK;
    });
    testing::internal::CaptureStdout();
    std::printf("<\n");
    std::fflush(stdout);
    manager->AddLogonTasks();
    std::printf(">\n");
    std::fflush(stdout);
    std::string output = testing::internal::GetCapturedStdout();
    manager->SetTaskSchedulerFactory(nullptr);
    EXPECT_EQ("<\n", output.substr(0, 2));
    EXPECT_EQ(">\n", output.substr(output.size() - 2));
    return output.substr(2, output.size() - 4);
}

std::vector<std::string> PassOver(Scheduler& world, std::string* output = nullptr) {
    CStartupManager::GetInstance()->List().Clear();
    const std::string printed = RunPass(world);
    if (output) *output = printed;
    return Names(CStartupManager::GetInstance()->List());
}

const StartupEntry* Find(const char* name) {
    for (const StartupEntry& entry : CStartupManager::GetInstance()->List())
        if (std::strcmp(entry.name, name) == 0) return &entry;
    return nullptr;
}

using Strings = std::vector<std::string>;

// --- tests ------------------------------------------------------------------

TEST(LogonTasks, BatchesOfFiveComeOutEachReversedInEnumerationOrderAheadOfBackUpEntries) {
    RegistrySandbox sandbox;
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kBackUp, "userApp", "C:\\u.exe");
    RegistrySandbox::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "t3", "C:\\m.exe");
    Scheduler world;
    for (const wchar_t* name : {L"t1", L"t2", L"t3", L"t4", L"t5", L"t6", L"t7"}) world.tasks.push_back(Logon(name));
    CStartupManager* manager = CStartupManager::GetInstance();
    manager->SetTaskSchedulerFactory([&world](ITaskScheduler** scheduler) {
        *scheduler = new TaskScheduler(world);
        return S_OK;
    });
    testing::internal::CaptureStdout();
    manager->RebuildList(manager->List());
    testing::internal::GetCapturedStdout();
    manager->SetTaskSchedulerFactory(nullptr);

    EXPECT_EQ((Strings{"t5", "t4", "t3", "t2", "t1", "t7", "t6", "t3", "userApp"}), Names(manager->List()));
    EXPECT_EQ((std::vector<ULONG>{5, 5, 5}), world.batchRequests);
    // A task named like a BackUp value is listed beside it; neither is relabelled.
    const auto& list = manager->List();
    auto entry = list.begin();
    std::advance(entry, 2);
    EXPECT_STREQ("Task Scheduler", entry->origin);
    EXPECT_STREQ("C:\\Programs\\t3.exe", entry->command);
    std::advance(entry, 5);
    EXPECT_STREQ("t3", entry->name);
    EXPECT_STREQ("all user start-up list", entry->origin);
    EXPECT_EQ(0, world.liveObjects.load());
}

TEST(LogonTasks, AcceptedTaskBecomesAnEntryAndPrintsItsDiagnostics) {
    Scheduler world;
    world.tasks.push_back(Logon(L"Updater"));
    world.tasks.back().application = L"C:\\Program Files\\Up\\up.exe";
    CStartupManager::GetInstance()->List().Clear();
    StartupEntry existing;
    SetField(existing.name, "fromBackUp");
    CStartupManager::GetInstance()->List().InsertFront(existing);

    const std::string output = RunPass(world);
    EXPECT_EQ((Strings{"Updater", "fromBackUp"}), Names(CStartupManager::GetInstance()->List()));
    const StartupEntry* entry = Find("Updater");
    ASSERT_NE(nullptr, entry);
    EXPECT_STREQ("C:\\Program Files\\Up\\up.exe", entry->command);
    EXPECT_STREQ("Unknown", entry->company);  // no such file, no version resource
    EXPECT_STREQ("Task Scheduler", entry->origin);
    EXPECT_EQ("Updater\nUpdater\nRun at user logonC:\\Program Files\\Up\\up.exe\n", output);
}

TEST(LogonTasks, OnlyAFirstTriggerAtLogonCountsByItsTypeOrItsText) {
    Scheduler world;
    world.tasks.push_back(Logon(L"typeOnly"));
    world.tasks.back().text.reset();  // a system that gives no trigger text
    world.tasks.push_back(Logon(L"translated"));
    world.tasks.back().text = L"Bei Benutzeranmeldung ausf\u00fchren";
    world.tasks.push_back(Logon(L"textOnly"));
    world.tasks.back().type = TASK_TIME_TRIGGER_ONCE;
    FakeTask daily = Logon(L"dailyThenLogon");  // its logon trigger comes second
    daily.type = TASK_TIME_TRIGGER_DAILY;
    daily.text = L"At 09:00 every day";
    world.tasks.push_back(daily);
    FakeTask logonLike = daily;
    logonLike.name = L"almost";
    logonLike.text = L"Run at user logon ";
    world.tasks.push_back(logonLike);

    EXPECT_EQ((Strings{"textOnly", "translated", "typeOnly"}), PassOver(world));
    EXPECT_EQ(5u, world.activated.size());  // a skipped task does not end the pass
    EXPECT_EQ(0, world.liveObjects.load());
}

TEST(LogonTasks, ActivateFailureOrMissingTriggerEndsThePassKeepingEarlierEntries) {
    Scheduler world;
    for (const wchar_t* name : {L"a1", L"a2", L"a3", L"a4"}) world.tasks.push_back(Logon(name));
    world.tasks[2].hasTrigger = false;
    EXPECT_EQ((Strings{"a2", "a1"}), PassOver(world));
    EXPECT_EQ((std::vector<std::wstring>{L"a1", L"a2", L"a3"}), world.activated);  // a4 never examined
    EXPECT_EQ(0, world.liveObjects.load());

    world.tasks[2].hasTrigger = true;
    world.tasks[1].activateFails = true;
    world.activated.clear();
    std::string output;
    EXPECT_EQ((Strings{"a1"}), PassOver(world, &output));
    EXPECT_EQ((std::vector<std::wstring>{L"a1", L"a2"}), world.activated);
    EXPECT_NE(std::string::npos, output.find("a2\nFailed calling ITaskScheduler::Activate: error = 0x80070005\n"))
        << output;
    EXPECT_EQ(std::string::npos, output.find("a3\n", output.find("Failed")));
    EXPECT_EQ(0, world.liveObjects.load());
}

TEST(LogonTasks, JobFileNamesRefusedByActivateAreRetriedWithoutTheExtension) {
    Scheduler world;
    world.refuseJobNames = true;
    world.tasks.push_back(Logon(L"first.job"));
    world.tasks.push_back(Logon(L"second.job"));
    world.tasks.push_back(Logon(L"missing.job"));
    world.tasks.back().activateFails = true;  // the bare name fails too: the pass ends
    world.tasks.push_back(Logon(L"after.job"));

    std::string output;
    EXPECT_EQ((Strings{"second.job", "first.job"}), PassOver(world, &output));
    EXPECT_EQ((std::vector<std::wstring>{L"first.job", L"first", L"second.job", L"second", L"missing.job", L"missing"}),
              world.activated);
    EXPECT_NE(std::string::npos, output.find("Failed calling ITaskScheduler::Activate: "));
    EXPECT_EQ(0, world.liveObjects.load());
}

TEST(LogonTasks, TooLongNamesOrProgramsAreRefusedNotCut) {
    Scheduler world;
    world.tasks.push_back(Logon(std::wstring(254, L'n')));
    world.tasks.back().application = L"C:\\n.exe";
    world.tasks.push_back(Logon(std::wstring(255, L'm')));
    world.tasks.back().application = L"C:\\m.exe";
    world.tasks.push_back(Logon(L"longProgram"));
    world.tasks.back().application = L"C:\\" + std::wstring(252, L'p');  // 255 characters
    world.tasks.push_back(Logon(L"fits"));
    world.tasks.back().application = L"C:\\" + std::wstring(251, L'p');  // 254 characters

    std::string output;
    const Strings names = PassOver(world, &output);
    EXPECT_EQ((Strings{"fits", std::string(254, 'n')}), names);
    EXPECT_EQ(254u, std::strlen(Find("fits")->command));
    EXPECT_NE(std::string::npos, output.find("longer than 254 characters: " + std::string(255, 'm') + "\n"));
    EXPECT_NE(std::string::npos, output.find("longer than 254 characters: longProgram\n"));
}

TEST(LogonTasks, EveryObjectAndTextFromTheSchedulerIsReleased) {
    AllocationWatch watch;
    ASSERT_TRUE(watch.Registered());
    Scheduler world;
    world.watch = &watch;
    for (const wchar_t* name : {L"k1", L"k2", L"k3", L"k4", L"k5", L"k6"}) world.tasks.push_back(Logon(name));
    world.tasks[1].text = L"At 09:00 every day";
    world.tasks[1].type = TASK_TIME_TRIGGER_DAILY;
    world.tasks[2].text.reset();
    world.tasks[4].hasTrigger = false;  // ends the pass holding a task

    // Examined k6, k1 .. k5; k2 is skipped, k5 ends the pass.
    EXPECT_EQ((Strings{"k4", "k3", "k1", "k6"}), PassOver(world));
    EXPECT_EQ(0u, watch.NotFreed());
    EXPECT_EQ(0, world.liveObjects.load());
}

TEST(LogonTasks, WideToAnsiOfNoneEmptyAndNonAsciiText) {
    EXPECT_FALSE(CStartupManager::WideToAnsi(nullptr).has_value());
    const auto empty = CStartupManager::WideToAnsi(L"");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ("", *empty);
    // The program runs with the UTF-8 code page.
    const auto accented = CStartupManager::WideToAnsi(L"Aktualisierung f\u00fcr \u65e5\u672c");
    ASSERT_TRUE(accented.has_value());
    EXPECT_EQ("Aktualisierung f\xC3\xBCr \xE6\x97\xA5\xE6\x9C\xAC", *accented);
    EXPECT_EQ(std::string::npos, accented->find('\0'));
}

// --- Wine's own Task Scheduler --------------------------------------------------

// Saves a task with one trigger of the given type through the real scheduler.
bool SaveRealTask(ITaskScheduler* scheduler, const wchar_t* name, TASK_TRIGGER_TYPE type) {
    ComPtr<ITask> task;
    if (FAILED(scheduler->NewWorkItem(name, CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.GetAddressOf()))))
        return false;
    if (FAILED(task->SetApplicationName(L"C:\\windows\\system32\\notepad.exe"))) return false;
    WORD index = 0;
    ComPtr<ITaskTrigger> trigger;
    if (FAILED(task->CreateTrigger(&index, &trigger))) return false;
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof data;
    data.wBeginYear = 2024;
    data.wBeginMonth = 1;
    data.wBeginDay = 1;
    data.wStartHour = 9;
    data.TriggerType = type;
    if (type == TASK_TIME_TRIGGER_DAILY) data.Type.Daily.DaysInterval = 1;
    if (FAILED(trigger->SetTrigger(&data))) return false;
    ComPtr<IPersistFile> file;
    return SUCCEEDED(task.As(&file)) && SUCCEEDED(file->Save(nullptr, TRUE));
}

TEST(LogonTasksOnWine, RealSchedulerPassEndsQuietlyAndFindsSavedLogonTasks) {
    CStartupManager* manager = CStartupManager::GetInstance();
    manager->SetTaskSchedulerFactory(nullptr);
    manager->List().Clear();
    testing::internal::CaptureStdout();
    manager->AddLogonTasks();
    const std::string quiet = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(manager->List().Empty()) << quiet;
    EXPECT_EQ("", quiet);

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<ITaskScheduler> scheduler;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                               reinterpret_cast<void**>(scheduler.GetAddressOf()))));
        const bool saved = SaveRealTask(scheduler.Get(), L"PacewickTestLogon", TASK_EVENT_TRIGGER_AT_LOGON) &&
                           SaveRealTask(scheduler.Get(), L"PacewickTestDaily", TASK_TIME_TRIGGER_DAILY);
        if (saved) {
            manager->List().Clear();
            testing::internal::CaptureStdout();
            manager->AddLogonTasks();
            const std::string output = testing::internal::GetCapturedStdout();
            EXPECT_EQ((Strings{"PacewickTestLogon.job"}), Names(manager->List())) << output;
            const StartupEntry* entry = Find("PacewickTestLogon.job");
            if (entry) {
                EXPECT_STREQ("C:\\windows\\system32\\notepad.exe", entry->command);
                EXPECT_STREQ("Task Scheduler", entry->origin);
            }
        }
        scheduler->Delete(L"PacewickTestLogon");
        scheduler->Delete(L"PacewickTestDaily");
        EXPECT_TRUE(saved) << "Wine's Task Scheduler did not save the test tasks";
    }
    CoUninitialize();
    manager->List().Clear();
}

}  // namespace
