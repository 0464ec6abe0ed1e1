#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RegistrySandbox.h"
#include "app/RemovalSwitch.h"
#include "app/SingleInstance.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/MainWindowClass.h"

namespace {

using S = RegistrySandbox;
const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

// A running Pacewick as the switch sees it: the instance mutex, owned, and a
// hidden window of the class, which on Exit lets both go as the program's end does.
class RunningInstance {
public:
    RunningInstance() {
        thread_ = std::thread([this] { Run(); });
        while (!ready_) Sleep(5);
    }
    ~RunningInstance() {
        if (thread_.joinable()) thread_.join();
    }
    bool ExitPressed() const { return exitPressed_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<RunningInstance*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_EXIT && self) {
            self->exitPressed_ = true;
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    void Run() {
        win::UniqueHandle mutex;
        WNDCLASSA instanceClass{};
        instanceClass.lpfnWndProc = Procedure;
        instanceClass.hInstance = GetModuleHandleA(nullptr);
        instanceClass.lpszClassName = ui::kMainWindowClass;
        const bool made = WaitForInstanceMutex(0, &mutex) == WAIT_OBJECT_0 && RegisterClassA(&instanceClass);
        HWND window = made ? CreateWindowExA(0, ui::kMainWindowClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                             instanceClass.hInstance, nullptr)
                           : nullptr;
        if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ready_ = true;
        MSG message;
        while (window && GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        if (window) DestroyWindow(window);
        UnregisterClassA(ui::kMainWindowClass, instanceClass.hInstance);
        ReleaseMutex(mutex.Get());
    }

    std::thread thread_;
    std::atomic<bool> ready_{false}, exitPressed_{false};
};

void PutTakenOver() {
    S::PutText(kUser, keys::kBackUp, "Chat", "\"C:\\Chat\\chat.exe\" -tray");
    S::Put(kUser, keys::kBackUp, "Sync", S::Text("%ProgramFiles%\\Sync\\s.exe", REG_EXPAND_SZ));
    S::PutText(kMachine, keys::kBackUp, "Machine", "C:\\machine.exe");
}

int RunSwitch(const wchar_t* line) {
    int code = -1;
    EXPECT_TRUE(HandleRemovalSwitch(line, &code)) << "not recognised: " << testing::PrintToString(std::wstring(line));
    return code;
}

TEST(RemovalSwitch, EndsTheRunningInstanceThenPutsBackThisAccountsEntriesOnly) {
    S sandbox;
    PutTakenOver();
    int code = -1;
    for (const wchar_t* ignored : {L"pacewick.exe", L"pacewick.exe -restore-for-removal", L"pacewick.exe -UNINSTALL",
                                   L"pacewick.exe x -RESTORE-FOR-REMOVAL"})
        EXPECT_FALSE(HandleRemovalSwitch(ignored, &code)) << testing::PrintToString(std::wstring(ignored));
    EXPECT_EQ(-1, code);
    EXPECT_EQ(2u, S::ValueNames(kUser, keys::kBackUp).size()) << "a line without the switch restored something";

    RunningInstance instance;
    EXPECT_EQ(0, RunSwitch(L"\"C:\\P\\pacewick.exe\" -RESTORE-FOR-REMOVAL 2"));
    EXPECT_TRUE(instance.ExitPressed()) << "the running instance was not asked to exit";
    EXPECT_EQ(S::Text("\"C:\\Chat\\chat.exe\" -tray"), S::Get(kUser, keys::kRun, "Chat"));
    EXPECT_EQ(S::Text("%ProgramFiles%\\Sync\\s.exe", REG_EXPAND_SZ), S::Get(kUser, keys::kRun, "Sync"));
    EXPECT_TRUE(S::ValueNames(kUser, keys::kBackUp).empty());
    EXPECT_EQ(S::Text("C:\\machine.exe"), S::Get(kMachine, keys::kBackUp, "Machine")) << "the keeper's row was written";
    EXPECT_TRUE(S::ValueNames(kMachine, keys::kRun).empty());
    CStartupManager::GetInstance()->SetLists(~0u, ~0u);
}

TEST(RemovalSwitch, FailsWhenAnEntryCannotGoBack) {
    S sandbox(S::Keys{true, true, true, false});  // no user Run key to write into
    PutTakenOver();
    EXPECT_EQ(2, RunSwitch(L"pacewick.exe -RESTORE-FOR-REMOVAL 2"));
    EXPECT_EQ(2u, S::ValueNames(kUser, keys::kBackUp).size()) << "a back-up went with nowhere to go";
    CStartupManager::GetInstance()->SetLists(~0u, ~0u);
}

}  // namespace
