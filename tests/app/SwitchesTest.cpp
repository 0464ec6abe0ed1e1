// The switches that put entries back (-UNINSTALL, -RESTORE-FOR-REMOVAL), the elevated copy's, and "No" to Start.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "app/ElevatedSwitch.h"
#include "app/HeldMachineEntries.h"
#include "app/KeeperHandOver.h"
#include "app/RemovalSwitch.h"
#include "app/RemovalWatch.h"
#include "app/SingleInstance.h"
#include "app/UninstallSwitch.h"
#include "keeper/RemovalNotice.h"
#include "takeover/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/MainWindowClass.h"
#include "win/Clock.h"

namespace {

using S = RegistrySandbox;
const std::wstring kInstalledPath = L"\"C:\\Program Files\\Quorvell Software\\Pacewick\\pacewick.exe\"";
const std::wstring kProduct = L"{0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9}";
std::wstring Installed() { return kProduct; }
std::wstring NoneInstalled() { return std::wstring(); }

// Stands in for ShellExecuteExW: what it started, and whether every entry was back by then.
struct LauncherProbe {
    int calls = 0;
    std::wstring started;  // file, then parameters
    bool restoredWhenCalled = false;
    InstallerLauncher Launcher() {
        return [this](SHELLEXECUTEINFOW* given) {
            ++calls;
            started = std::wstring(given->lpFile ? given->lpFile : L"(null)") + L" " +
                      (given->lpParameters ? given->lpParameters : L"(null)");
            restoredWhenCalled =
                S::ValueNames(kUser, keys::kBackUp).empty() && S::ValueNames(kMachine, keys::kBackUp).empty();
            return true;
        };
    }
};

// A running Pacewick as the switches see it: its window class and instance mutex; Exit lets both go.
class RunningInstance {
public:
    RunningInstance() : thread_([this] { Run(); }) {
        while (!ready_) Sleep(5);
    }
    ~RunningInstance() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);  // the user closes it
        thread_.join();
    }
    static inline std::atomic<bool> exitPressed{false};

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_EXIT) exitPressed = true, PostQuitMessage(0);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    void Run() {
        threadId_ = GetCurrentThreadId();
        win::UniqueHandle mutex;
        WNDCLASSW instanceClass{};
        instanceClass.lpfnWndProc = Procedure;
        instanceClass.hInstance = GetModuleHandleW(nullptr);
        instanceClass.lpszClassName = ui::kMainWindowClass;
        const bool made = WaitForInstanceMutex(0, &mutex) == WAIT_OBJECT_0 && RegisterClassW(&instanceClass);
        HWND window = made ? CreateWindowExW(0, ui::kMainWindowClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                             instanceClass.hInstance, nullptr)
                           : nullptr;
        EXPECT_TRUE(window);
        ready_ = true;
        MSG message;
        while (window && GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        if (window) DestroyWindow(window);
        UnregisterClassW(ui::kMainWindowClass, instanceClass.hInstance);
        ReleaseMutex(mutex.Get());
    }

    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> ready_{false};
    std::thread thread_;  // last: it runs on the members above
};

// Answers the first box of this caption from another thread: "caption: text", "" after 5 s (any box closed).
std::future<std::string> Answer(const char* caption) {
    return std::async(std::launch::async, [caption] {
        HWND box = WaitForVisible("#32770", caption, 5000);
        const std::string text = box ? std::string(caption) + ": " + Text(box, 0xFFFF) : "";
        if (box || (box = WaitForVisible("#32770", nullptr, 5000))) Press(box, IDOK);
        return text;
    });
}

struct Value { HKEY hive; const char* name; RegValueBlob data; };

// Entries taken over earlier, one name in both hives; and the program's own value.
const Value kTakenOver[] = {{kUser, "Chat", S::Text("\"C:\\Chat\\chat.exe\" -tray")},
                            {kUser, "Both", S::Text("C:\\Both\\user.exe")},
                            {kMachine, "Sync", S::Text("%ProgramFiles%\\Sync\\s.exe", REG_EXPAND_SZ)},
                            {kMachine, "Both", S::Text("C:\\Both\\machine.exe")}};

void PutTakenOverEntries() {
    for (const Value& value : kTakenOver) S::Put(value.hive, keys::kBackUp, value.name, value.data);
    S::PutText(kMachine, keys::kRun, keys::kSelfValueName, "\"C:\\P\\pacewick.exe\"");
    S::Put(kUser, keys::kConfig, "Restored", S::Dword(0));
}

// Each entry of the named hives back in Run, exactly, gone from BackUp; the others where they were.
void ExpectPutBack(bool user, bool machine, const char* when) {
    for (const Value& value : kTakenOver) {
        const std::optional<RegValueBlob> data = value.data;
        const bool back = value.hive == kUser ? user : machine;
        EXPECT_EQ(back ? data : std::nullopt, S::Get(value.hive, keys::kRun, value.name)) << value.name << when;
        EXPECT_EQ(back ? std::nullopt : data, S::Get(value.hive, keys::kBackUp, value.name)) << value.name << when;
    }
    EXPECT_EQ(user ? 2u : 0u, S::ValueNames(kUser, keys::kRun).size()) << when;
    EXPECT_EQ(machine ? 3u : 1u, S::ValueNames(kMachine, keys::kRun).size()) << when;
    EXPECT_TRUE(S::Get(kMachine, keys::kRun, keys::kSelfValueName)) << "its own value is left alone" << when;
    EXPECT_EQ(S::Dword(0), S::Get(kUser, keys::kConfig, "Restored")) << when;
}

TEST(UninstallSwitch, IsRecognisedOnlyAsAnArgumentOfItsOwnInCapitals) {
    S sandbox;
    PutTakenOverEntries();
    LauncherProbe probe;
    // Installed in folders whose names hold the switch, quoted or not.
    const std::wstring switchInPath = L"\"C:\\Program Files\\Tools -UNINSTALL\\pacewick.exe\"";
    for (const std::wstring& ignored : {kInstalledPath + L" -uninstall", kInstalledPath + L" /UNINSTALL",
                                        kInstalledPath + L" - UNINSTALL", kInstalledPath + L" -UNINSTALLX",
                                        kInstalledPath + L" x-UNINSTALL", kInstalledPath + L" \"-UNINSTALL ",
                                        switchInPath + L" -tray", std::wstring(L"-UNINSTALL")})
        EXPECT_FALSE(HandleUninstallSwitch(ignored.c_str(), probe.Launcher(), Installed))
            << "recognised in: " << testing::PrintToString(ignored);
    EXPECT_FALSE(HandleUninstallSwitch()) << "recognised in the test program's own command line";
    int code = -1;
    for (const wchar_t* ignored : {L"pacewick.exe", L"pacewick.exe -restore-for-removal", L"pacewick.exe -UNINSTALL",
                                   L"pacewick.exe x -RESTORE-FOR-REMOVAL"})
        EXPECT_FALSE(HandleRemovalSwitch(ignored, &code)) << testing::PrintToString(std::wstring(ignored));
    EXPECT_EQ(-1, code);
    EXPECT_EQ(0, probe.calls);
    ExpectPutBack(false, false, ": a line without a switch restored something");

    // First, later, quoted, and beside a path that holds it too.
    for (const std::wstring& recognised : {kInstalledPath + L" -tray -UNINSTALL", kInstalledPath + L" \"-UNINSTALL\"",
                                           switchInPath + L" x -UNINSTALL", std::wstring(L"pacewick.exe -UNINSTALL -q")})
        EXPECT_TRUE(HandleUninstallSwitch(recognised.c_str(), probe.Launcher(), Installed))
            << "not recognised in: " << testing::PrintToString(recognised);
    EXPECT_EQ(4, probe.calls);
}

int RunRemovalSwitch(const wchar_t* line) {
    int code = -1;
    EXPECT_TRUE(HandleRemovalSwitch(line, &code)) << "not recognised: " << testing::PrintToString(std::wstring(line));
    return code;
}

// Beside an instance -UNINSTALL only asks to close it, the installer's switch ends it; then all back, then msiexec.
TEST(UninstallSwitch, PutsBackEveryEntryOnceNoInstanceRunsThenStartsTheInstaller) {
    const std::wstring line = kInstalledPath + L" -UNINSTALL";
    {
        S sandbox;
        PutTakenOverEntries();
        LauncherProbe probe;
        {
            RunningInstance instance;
            auto user = Answer("Pacewick Needs to be closed");
            EXPECT_TRUE(HandleUninstallSwitch(line.c_str(), probe.Launcher(), Installed));
            EXPECT_EQ("Pacewick Needs to be closed: Please exit Pacewick app 1st then run uninstaller again",
                      user.get());
            EXPECT_EQ(0, probe.calls) << "the installer was started beside a running instance";
            ExpectPutBack(false, false, ": restored beside a running instance");
            EXPECT_EQ(0, RunRemovalSwitch(L"\"C:\\P\\pacewick.exe\" -RESTORE-FOR-REMOVAL 2"));
            EXPECT_TRUE(RunningInstance::exitPressed) << "the running instance was not asked to exit";
            ExpectPutBack(true, false, ": the machine's entries are the keeper's");
        }
        EXPECT_TRUE(HandleUninstallSwitch(line.c_str(), probe.Launcher(), Installed));
        ExpectPutBack(true, true, "");
        ASSERT_EQ(1, probe.calls);
        EXPECT_TRUE(probe.restoredWhenCalled) << "the installer was started before the entries were back";
        wchar_t system[MAX_PATH] = {};
        const std::wstring installer(system, GetSystemDirectoryW(system, MAX_PATH));
        EXPECT_EQ(installer + L"\\msiexec.exe /x " + kProduct, probe.started) << "not the system's installer on this product";
    }
    {
        S sandbox;
        PutTakenOverEntries();
        EXPECT_EQ(L"", InstalledProductCode()) << "the test's prefix holds no Pacewick package";
        LauncherProbe probe;
        auto user = Answer("Pacewick");
        EXPECT_TRUE(HandleUninstallSwitch(line.c_str(), probe.Launcher(), NoneInstalled));
        const std::string text = user.get();
        EXPECT_NE(std::string::npos, text.find("No installed Pacewick package")) << text;
        EXPECT_EQ(0, probe.calls) << "an installer was started with no product to remove";
        ExpectPutBack(true, true, ": with no package installed");
    }
    S sandbox(S::Keys{true, true, true, false});  // no user Run key to write into
    PutTakenOverEntries();
    EXPECT_EQ(2, RunRemovalSwitch(L"pacewick.exe -RESTORE-FOR-REMOVAL 2"));
    EXPECT_EQ(2u, S::ValueNames(kUser, keys::kBackUp).size()) << "a back-up went with nowhere to go";
}

// The elevated Delete without a keeper: exactly the named entry from the given machine rows, whatever the name.
TEST(DeleteSwitch, DeletesExactlyTheNamedEntryFromTheGivenMachineRowsAndNothingOnABadSwitch) {
    S sandbox;
    const char* const name = "Tool \"quoted\" \\ %PATH% Ünï 名前";
    const std::wstring wide = L"Tool \"quoted\" \\ %PATH% \u00dcn\u00ef \u540d\u524d";
    for (HKEY hive : {kUser, kMachine}) S::PutText(hive, keys::kBackUp, name, "C:\\t.exe");
    S::PutText(kMachine, keys::kBackUp32, name, "C:\\t32.exe");
    S::PutText(kMachine, keys::kBackUp32, "Tool", "C:\\other.exe");
    const auto kept = [](HKEY hive, const wchar_t* path, const char* value) { return bool(S::Get(hive, path, value)); };
    const auto handled = [](const std::wstring& parameters) {
        return machinekeys::HandleElevatedSwitch((kInstalledPath + L" " + parameters).c_str());
    };

    EXPECT_FALSE(handled(L"-UNINSTALL")) << "not the switch: start-up goes on";
    // The switch, malformed: start-up stops, nothing is deleted.
    for (const wchar_t* bad : {L"-DELETEMACHINEENTRY", L"-DELETEMACHINEENTRY 4 00", L"-DELETEMACHINEENTRY 4 00G1",
                               L"-DELETEMACHINEENTRY x4 0054", L"-DELETEMACHINEENTRY 4 0000",
                               L"-DELETEMACHINEENTRY 1 0054006F006F006C"})  // row 0: the user's, never
        EXPECT_TRUE(handled(bad)) << testing::PrintToString(std::wstring(bad));
    EXPECT_TRUE(kept(kMachine, keys::kBackUp32, "Tool"));
    EXPECT_TRUE(kept(kUser, keys::kBackUp, name));

    // The 32-bit row only: the 64-bit row and the user's keep the name, "Tool" stays.
    EXPECT_TRUE(handled(machinekeys::DeleteSwitchParameters(ListBit(2), wide)));
    EXPECT_FALSE(kept(kMachine, keys::kBackUp32, name));
    EXPECT_TRUE(kept(kMachine, keys::kBackUp32, "Tool"));
    EXPECT_TRUE(kept(kMachine, keys::kBackUp, name));
    EXPECT_TRUE(kept(kUser, keys::kBackUp, name));
    // Both machine rows and the user's asked: the user's row is never touched by the switch.
    EXPECT_TRUE(handled(machinekeys::DeleteSwitchParameters(ListBit(0) | ListBit(1) | ListBit(2), wide)));
    EXPECT_FALSE(kept(kMachine, keys::kBackUp, name));
    EXPECT_TRUE(kept(kUser, keys::kBackUp, name));
}

// The elevated Restore All without a keeper: the machine's entries back only; trailing text or a resume does nothing.
TEST(ElevatedSwitches, RestoreMachinePutsBackOnlyTheMachineEntriesAndResumeChangesNothing) {
    S sandbox;
    PutTakenOverEntries();
    const auto handled = [](const wchar_t* parameters) {
        return machinekeys::HandleElevatedSwitch((kInstalledPath + L" " + parameters).c_str());
    };
    EXPECT_FALSE(handled(L"-restoremachine"));
    for (const wchar_t* nothing : {L"-RESTOREMACHINE x", L"-RESUMEKEEPER -RESTOREMACHINE", L"-RESUMEKEEPER"})
        EXPECT_TRUE(handled(nothing)) << testing::PrintToString(std::wstring(nothing));
    ExpectPutBack(false, false, ": a malformed switch or a resume");
    EXPECT_TRUE(handled(L"-RESTOREMACHINE"));
    ExpectPutBack(false, true, "");
}

// "No" to Start Pacewick? beside the keeper: the machine entries it holds start once; nothing taken over.
TEST(AnsweredNo, StartsTheMachineEntriesTheKeeperHoldsOnceAndTakesNothingOver) {
    S sandbox;
    PutTakenOverEntries();
    S::PutText(kMachine, keys::kBackUp32, "Sync32", "C:\\Sync\\s32.exe");
    S::PutText(kMachine, keys::kBackUp32, "Kept32", "C:\\Kept\\old32.exe");
    S::PutText(kMachine, keys::kRun32, "Kept32", "C:\\Kept\\newer32.exe");  // Windows starts this one
    S::PutText(kUser, keys::kRun, "Fresh", "C:\\Fresh\\f.exe");
    std::vector<std::string> started;
    machinekeys::StartHeldMachineEntries(
        launch::Launcher::Starts{[&](const std::wstring& command) { return started.push_back(U8(command)), true; }, nullptr});
    std::sort(started.begin(), started.end());
    EXPECT_EQ((std::vector<std::string>{"%ProgramFiles%\\Sync\\s.exe", "C:\\Both\\machine.exe", "C:\\Sync\\s32.exe"}),
              started);
    EXPECT_EQ(std::vector<std::string>{"Fresh"}, S::ValueNames(kUser, keys::kRun));
    for (const Value& value : kTakenOver) EXPECT_EQ(value.data, S::Get(value.hive, keys::kBackUp, value.name));
}

}  // namespace

// An installed, stopped keeper service gets the machine's Run key; without one the program keeps it.
TEST(KeeperHandOver, LeavesTheMachineKeysToAnInstalledServiceThatIsStopped) {
    S sandbox;
    S::PutText(kMachine, keys::kRun, "machine tool", "C:\\m.exe");
    S::PutText(kUser, keys::kRun, "user tool", "C:\\u.exe");
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    const SC_HANDLE service = CreateServiceW(manager, L"PacewickKeeper", L"PacewickKeeper", DELETE, SERVICE_WIN32_OWN_PROCESS,
                                             SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, L"C:\\none.exe", nullptr,
                                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(service) << GetLastError();
    bool answers = true;
    const bool handedOver = machinekeys::HandOverToKeeper(&answers);
    TestEngine(handedOver ? takeover::kUserScope : takeover::kEveryScope).manager.TakeOver();
    EXPECT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    EXPECT_TRUE(handedOver);
    EXPECT_FALSE(answers);
    EXPECT_EQ(std::vector<std::string>{"machine tool"}, S::ValueNames(kMachine, keys::kRun));
    EXPECT_EQ(std::vector<std::string>{"user tool"}, S::ValueNames(kUser, keys::kBackUp));
    EXPECT_FALSE(machinekeys::HandOverToKeeper(&answers));
}

namespace {

// The removal's notice in the machine's program key, `offset` FILETIME units from now.
void PutRemovalNotice(LONGLONG offset) {
    const ULONGLONG at = win::FileTimeNow() + offset;
    S::Put(kMachine, keys::kProgram, keys::kRemovalStarted, RegValueBlob(REG_QWORD, &at, sizeof at));
}
constexpr LONGLONG kMinute = 60ll * 10000000;
constexpr LONGLONG kStale = -static_cast<LONGLONG>(kRemovalNoticeLife) - kMinute;

}  // namespace

TEST(RemovalWatch, PressesExitOfThisProcesssWindowWhenTheKeepersNoticeIsUpButNotForAStaleOrFutureOne) {
    RegistrySandbox sandbox;
    RunningInstance running;
    RunningInstance::exitPressed = false;
    RemovalWatch watch;
    ASSERT_FALSE(watch.Start());
    PutRemovalNotice(kStale);
    PutRemovalNotice(static_cast<LONGLONG>(kRemovalNoticeAhead) + kMinute);
    Sleep(1000);
    EXPECT_FALSE(RunningInstance::exitPressed);
    {
        const keeper::RemovalNotice notice;
        EXPECT_TRUE(WaitUntil([] { return RunningInstance::exitPressed.load(); }, 5000));
    }
    EXPECT_FALSE(S::Get(kMachine, keys::kProgram, keys::kRemovalStarted));  // withdrawn with the notice
}

TEST(RemovalWatch, ANoticeSeenBeforeTheWindowExistsPressesExitOnceItDoes) {
    RegistrySandbox sandbox;
    RunningInstance::exitPressed = false;
    RemovalWatch watch;
    ASSERT_FALSE(watch.Start());
    PutRemovalNotice(0);
    Sleep(500);  // seen, with no window yet: the take-over at start-up runs before it
    const RunningInstance running;
    EXPECT_TRUE(WaitUntil([] { return RunningInstance::exitPressed.load(); }, 5000));
}

TEST(RemovalWatch, StartStopsOnAFreshNoticeAndGoesOnWithAStaleOne) {
    RegistrySandbox sandbox;
    PutRemovalNotice(kStale);
    EXPECT_FALSE(RemovalWatch().Start());
    PutRemovalNotice(kStale + 2 * kMinute);  // nine minutes old
    EXPECT_TRUE(RemovalWatch().Start());
}
