// The main window on real windows under the sandboxed registry: the list, the
// countdown and launch, the delete and restore commands, the delay settings,
// and the tray icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "monitor/RunKeyMonitor.h"
#include "registry/RegistryKeys.h"

using namespace uitest;

namespace {

std::string ExeDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string ExeBaseName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name = name.substr(name.find_last_of('\\') + 1);
    return name.substr(0, name.rfind('.'));
}

class PacewickDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ui::RegisterMainWindowClass(GetModuleHandleA(nullptr)));
        manager_->SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
        manager_->List().Clear();
        SetConfig(1, 60000);
        dialog_.SetNotifyIconFunction(tray_.Function());
    }

    static void SetConfig(DWORD manual, DWORD delay, DWORD restored = 0) {
        RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kConfig, "Manual", RegistrySandbox::Dword(manual));
        RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kConfig, "TimeDelay", RegistrySandbox::Dword(delay));
        RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kConfig, "Restored", RegistrySandbox::Dword(restored));
    }
    static DWORD ConfigValue(const char* name) {
        auto value = RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kConfig, name);
        EXPECT_TRUE(value.has_value()) << name;
        DWORD number = 0xFFFFFFFF;
        if (value && value->count() == sizeof number) CopyMemory(&number, value->data(), sizeof number);
        return number;
    }
    static void BackUp(HKEY hive, const char* name, const std::string& command) {
        RegistrySandbox::PutText(hive, keys::kBackUp, name, command);
    }
    static bool InBackUp(HKEY hive, const char* name) {
        return RegistrySandbox::Get(hive, keys::kBackUp, name).has_value();
    }
    void Rebuild() { manager_->RebuildList(manager_->List()); }

    RegistrySandbox sandbox_;
    CStartupManager* manager_ = CStartupManager::GetInstance();
    TrayShell tray_;
    CPacewickDlg dialog_;
};

// A file that record_launch.exe appends every command line it was started with to.
class LaunchLog {
public:
    LaunchLog() {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        path_ = std::string(folder) + "pacewick-ui-launch-" + std::to_string(GetCurrentProcessId()) + ".log";
        DeleteFileA(path_.c_str());
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", path_.c_str());
    }
    ~LaunchLog() {
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", nullptr);
        DeleteFileA(path_.c_str());
    }
    std::vector<std::string> Lines() const {
        std::ifstream file(path_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }
    static std::string Command(const char* argument) {
        return "\"" + ExeDir() + "\\record_launch.exe\" " + argument;
    }

private:
    std::string path_;
};

TEST_F(PacewickDlgTest, ListShowsEveryEntryInListOrderWithItsCount) {
    BackUp(HKEY_CURRENT_USER, "Alpha", "C:\\Tools\\alpha.exe /quiet");
    BackUp(HKEY_CURRENT_USER, "Shared", "C:\\Tools\\shared.exe");
    BackUp(HKEY_LOCAL_MACHINE, "Beta", "\"C:\\Program Files\\Beta\\beta.exe\" -tray");
    BackUp(HKEY_LOCAL_MACHINE, "Shared", "C:\\Tools\\shared.exe");
    Rebuild();
    const EntryList expected = manager_->CopyList();
    ASSERT_EQ(expected.Count(), 3u);

    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Headings(window),
                  (std::vector<std::string>{"Program Name", "Program Location", "Company", "Location"}));
        const auto rows = Rows(window);
        ASSERT_EQ(rows.size(), 3u);
        std::size_t i = 0;
        for (const StartupEntry& entry : expected) {
            EXPECT_EQ(rows[i], (std::vector<std::string>{entry.name, entry.command, entry.company, entry.origin}))
                << "row " << i;
            ++i;
        }
        // Each origin label reaches its row: the delete command depends on it.
        for (const auto& row : rows) {
            const char* label = row[0] == "Alpha" ? origin::kCurrentUser
                                : row[0] == "Beta"  ? origin::kAllUsers
                                                    : origin::kBoth;
            EXPECT_EQ(row[3], label) << row[0];
            if (row[0] == "Beta") {
                EXPECT_EQ(row[1], "\"C:\\Program Files\\Beta\\beta.exe\" -tray");
            }
        }
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: 3");
        // The columns share the client width in fifths.
        RECT client = {};
        GetClientRect(List(window), &client);
        const int unit = client.right / 5;
        EXPECT_EQ(SendMessageA(List(window), LVM_GETCOLUMNWIDTH, 1, 0), 2 * unit);
        EXPECT_EQ(SendMessageA(List(window), LVM_GETCOLUMNWIDTH, 3, 0), unit);
    });
}

TEST_F(PacewickDlgTest, EmptyListShowsHeadingsNoRowsAndZero) {
    Rebuild();
    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Headings(window).size(), 4u);
        EXPECT_EQ(RowCount(window), 0);
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: 0");
    });
}

TEST_F(PacewickDlgTest, CountdownLaunchesEveryEntryOnceHidesAndDisablesRunAll) {
    LaunchLog log;
    BackUp(HKEY_CURRENT_USER, "First", LaunchLog::Command("first"));
    BackUp(HKEY_LOCAL_MACHINE, "Second", LaunchLog::Command("second"));
    Rebuild();
    SetConfig(0, 1500);

    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Text(window, IDC_STATUS), "Will start in 0 minute");
        ASSERT_TRUE(WaitFor([&] { return log.Lines().size() >= 2; })) << "the countdown launched nothing";
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
        SendMessageA(window, WM_NULL, 0, 0);  // the launch has finished
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));
        EXPECT_EQ(tray_.modifies.load(), 1);
        EXPECT_EQ(tray_.modified.uFlags, static_cast<UINT>(NIF_ICON));

        // The tray menu now offers "Run All Programs Now" greyed.
        PostMessageA(window, CPacewickDlg::kTrayMessage, CPacewickDlg::kTrayIconId, WM_RBUTTONDOWN);
        HWND popup = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            popup = FindWindowA("#32768", nullptr);
            return popup && IsWindowVisible(popup);
        })) << "the tray menu did not open";
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        EXPECT_TRUE(GetMenuState(menu, ID_TRAY_RUN_ALL, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_FALSE(GetMenuState(menu, ID_TRAY_OPEN, MF_BYCOMMAND) & MF_GRAYED);
        PostMessageA(window, WM_CANCELMODE, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(popup); }));

        // Neither the button nor the tray item nor any timer starts them again.
        Command(window, IDC_RUN_ALL);
        Command(window, ID_TRAY_RUN_ALL);
        SendMessageA(window, WM_TIMER, CPacewickDlg::kLaunchTimer, 0);
        Sleep(1500);
    });
    std::vector<std::string> lines = log.Lines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{LaunchLog::Command("first"), LaunchLog::Command("second")}));
}

TEST_F(PacewickDlgTest, ManualStartRunsNoTimerButRunAllStillLaunches) {
    LaunchLog log;
    BackUp(HKEY_CURRENT_USER, "Only", LaunchLog::Command("only"));
    Rebuild();
    SetConfig(1, 1000);

    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Text(window, IDC_STATUS), "Start manually");
        Sleep(2500);  // a countdown of 1000 ms would have fired, a tick timer ticked
        EXPECT_EQ(Text(window, IDC_ELAPSED), "");
        EXPECT_TRUE(log.Lines().empty());
        EXPECT_TRUE(IsWindowVisible(window));

        Command(window, IDC_RUN_ALL);
        EXPECT_TRUE(WaitFor([&] { return log.Lines().size() == 1; }));
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));
    });
    EXPECT_EQ(log.Lines(), std::vector<std::string>{LaunchLog::Command("only")});
}

TEST_F(PacewickDlgTest, RunLaunchesOnlyTheSelectedRow) {
    LaunchLog log;
    BackUp(HKEY_CURRENT_USER, "One", LaunchLog::Command("one"));
    BackUp(HKEY_CURRENT_USER, "Two", LaunchLog::Command("two"));
    Rebuild();

    RunDialog(dialog_, [&](HWND window) {
        Select(window, "");
        Command(window, IDC_RUN);
        Select(window, "Two");
        Command(window, IDC_RUN);
        EXPECT_TRUE(WaitFor([&] { return !log.Lines().empty(); }));
        Sleep(500);
        EXPECT_TRUE(IsWindowVisible(window));  // Run is no Launch all
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));
    });
    EXPECT_EQ(log.Lines(), std::vector<std::string>{LaunchLog::Command("two")});
}

TEST_F(PacewickDlgTest, StatusShowsWholeMinutesAndOnlyManualOneIsManual) {
    const struct {
        DWORD manual, delay;
        const char* status;
    } cases[] = {
        {0, 90000, "Will start in 1 minute"},
        {0, 59999, "Will start in 0 minute"},
        {0, 1800000, "Will start in 30 minute"},
        {2, 180000, "Will start in 3 minute"},
        {1, 180000, "Start manually"},
    };
    for (const auto& c : cases) {
        SetConfig(c.manual, c.delay);
        CPacewickDlg dialog;
        dialog.SetNotifyIconFunction(tray_.Function());
        RunDialog(dialog, [&](HWND window) {
            EXPECT_EQ(Text(window, IDC_STATUS), c.status) << "Manual " << c.manual << ", delay " << c.delay;
        });
    }
}

TEST_F(PacewickDlgTest, ElapsedDisplayCountsTicksInMinutesAndSeconds) {
    RunDialog(dialog_, [&](HWND window) {
        auto tick = [&](int times) {
            for (int i = 0; i < times; ++i) SendMessageA(window, WM_TIMER, CPacewickDlg::kTickTimer, 0);
        };
        tick(59);
        EXPECT_EQ(Text(window, IDC_ELAPSED), "0 : 59");
        tick(1);
        EXPECT_EQ(Text(window, IDC_ELAPSED), "1 : 0");
        tick(1);
        EXPECT_EQ(Text(window, IDC_ELAPSED), "1 : 1");
        SendMessageA(window, WM_TIMER, 7, 0);  // not ours: nothing
        EXPECT_EQ(Text(window, IDC_ELAPSED), "1 : 1");
    });
}

TEST_F(PacewickDlgTest, DeleteRemovesFromTheRightBackUpKeyOnlyWhenConfirmed) {
    BackUp(HKEY_CURRENT_USER, "UserOnly", "C:\\u.exe");
    BackUp(HKEY_LOCAL_MACHINE, "MachineOnly", "C:\\m.exe");
    BackUp(HKEY_CURRENT_USER, "Both", "C:\\b.exe");
    BackUp(HKEY_LOCAL_MACHINE, "Both", "C:\\b.exe");
    Rebuild();
    StartupEntry task;
    SetField(task.name, "Nightly");
    SetField(task.command, "C:\\n.exe");
    SetField(task.company, "Unknown");
    SetField(task.origin, origin::kTaskScheduler);
    manager_->List().InsertFront(task);
    const char* question = "Are you sure to delete this entry?";

    RunDialog(dialog_, [&](HWND window) {
        ASSERT_EQ(RowCount(window), 4);

        // No selection: asked, and Yes deletes nothing.
        EXPECT_EQ(CommandAnswered(window, IDC_DELETE_ENTRY, question, IDYES), "Press [Yes] to delete this entry.\n");
        EXPECT_EQ(RowCount(window), 4);

        // A logon task is refused, under the program's name, and stays listed.
        ASSERT_TRUE(Select(window, "Nightly"));
        PostMessageA(window, WM_COMMAND, IDC_DELETE_ENTRY, 0);
        ASSERT_TRUE(Press(WaitForBox(question), IDYES));
        HWND refusal = WaitForBox(ExeBaseName().c_str());
        ASSERT_NE(refusal, nullptr) << "no refusal captioned " << ExeBaseName();
        EXPECT_EQ(BoxText(refusal), "Sorry in this version you cannot delete entry from scheduled task");
        Press(refusal, IDOK);
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_EQ(RowCount(window), 4);

        // No keeps the value.
        ASSERT_TRUE(Select(window, "UserOnly"));
        CommandAnswered(window, IDC_DELETE_ENTRY, question, IDNO);
        EXPECT_TRUE(InBackUp(HKEY_CURRENT_USER, "UserOnly"));
        EXPECT_EQ(RowCount(window), 4);

        // Yes: the current user's key loses it, the machine's keeps everything,
        // and the list is rebuilt from the keys (so the task row goes too).
        ASSERT_TRUE(Select(window, "UserOnly"));
        CommandAnswered(window, IDC_DELETE_ENTRY, question, IDYES);
        EXPECT_FALSE(InBackUp(HKEY_CURRENT_USER, "UserOnly"));
        EXPECT_TRUE(InBackUp(HKEY_LOCAL_MACHINE, "MachineOnly"));
        EXPECT_TRUE(InBackUp(HKEY_LOCAL_MACHINE, "Both"));
        EXPECT_TRUE(InBackUp(HKEY_CURRENT_USER, "Both"));
        EXPECT_EQ(RowCount(window), 2);
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: 2");

        ASSERT_TRUE(Select(window, "MachineOnly"));
        CommandAnswered(window, IDC_DELETE_ENTRY, question, IDYES);
        EXPECT_FALSE(InBackUp(HKEY_LOCAL_MACHINE, "MachineOnly"));
        EXPECT_TRUE(InBackUp(HKEY_CURRENT_USER, "Both"));

        ASSERT_TRUE(Select(window, "Both"));
        CommandAnswered(window, IDC_DELETE_ENTRY, question, IDYES);
        EXPECT_FALSE(InBackUp(HKEY_CURRENT_USER, "Both"));
        EXPECT_FALSE(InBackUp(HKEY_LOCAL_MACHINE, "Both"));
        EXPECT_EQ(RowCount(window), 0);
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: 0");
    });
}

TEST_F(PacewickDlgTest, BothLabelRefreshesTheListWhenOnlyTheUserKeyHadTheValue) {
    // Listed as present in both, but the machine's copy is already gone: the
    // user's copy is deleted and the list must not keep showing the entry.
    BackUp(HKEY_CURRENT_USER, "Half", "C:\\h.exe");
    BackUp(HKEY_LOCAL_MACHINE, "Half", "C:\\h.exe");
    Rebuild();
    RegistrySandbox::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "Other", "C:\\o.exe");
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, keys::kBackUp, "Half");

    RunDialog(dialog_, [&](HWND window) {
        ASSERT_TRUE(Select(window, "Half"));
        CommandAnswered(window, IDC_DELETE_ENTRY, "Are you sure to delete this entry?", IDYES);
        EXPECT_FALSE(InBackUp(HKEY_CURRENT_USER, "Half"));
        EXPECT_FALSE(Select(window, "Half")) << "the deleted entry is still listed";
        EXPECT_TRUE(Select(window, "Other"));
    });
}

TEST_F(PacewickDlgTest, RestoreAllStopsMonitorsPutsEverythingBackAndEnds) {
    BackUp(HKEY_CURRENT_USER, "UserApp", "C:\\user.exe");
    BackUp(HKEY_LOCAL_MACHINE, "MachineApp", "C:\\machine.exe");
    Rebuild();
    StartRunKeyMonitors();

    bool askedFirst = false;
    const INT_PTR result = RunDialog(dialog_, [&](HWND window) {
        // No keeps everything as it was.
        CommandAnswered(window, IDC_RESTORE_ALL, "Are you sure to restore?", IDNO);
        askedFirst = InBackUp(HKEY_CURRENT_USER, "UserApp") && IsWindow(window);
        const std::string text = CommandAnswered(window, IDC_RESTORE_ALL, "Are you sure to restore?", IDYES);
        EXPECT_NE(text.find("Press [Yes] to restore everything."), std::string::npos);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(window); })) << "the dialog did not end";
    });
    StopRunKeyMonitors();  // in case the restore never ran

    EXPECT_TRUE(askedFirst);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "UserApp").has_value());
    EXPECT_TRUE(RegistrySandbox::Get(HKEY_LOCAL_MACHINE, keys::kRun, "MachineApp").has_value());
    EXPECT_FALSE(InBackUp(HKEY_CURRENT_USER, "UserApp"));
    EXPECT_FALSE(InBackUp(HKEY_LOCAL_MACHINE, "MachineApp"));
    EXPECT_EQ(ConfigValue("Restored"), 1u);

    // No monitor is left to take a newcomer over.
    RegistrySandbox::PutText(HKEY_CURRENT_USER, keys::kRun, "Newcomer", "C:\\new.exe");
    Sleep(1500);
    EXPECT_TRUE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "Newcomer").has_value());
    EXPECT_TRUE(RegistrySandbox::Get(HKEY_CURRENT_USER, keys::kRun, "UserApp").has_value());
}

TEST_F(PacewickDlgTest, DelayCommandsStoreTheNextStartsSettingsOnly) {
    RunDialog(dialog_, [&](HWND window) {
        const struct {
            int command;
            DWORD manual, delay;
        } steps[] = {
            {ID_TRAY_DELAY_3_MIN, 0, 180000}, {ID_TRAY_MANUAL, 1, 180000}, {ID_TRAY_DELAY_5_MIN, 0, 300000},
            {IDC_MANUAL_START, 1, 300000},    {ID_TRAY_DELAY_1_MIN, 0, 60000}, {IDC_APPLY, 0, 60000},
        };
        for (const auto& step : steps) {
            SetConfig(7, 7, 0);  // every step must write both values itself
            Command(window, step.command);
            EXPECT_EQ(ConfigValue("Manual"), step.manual) << "command " << step.command;
            if (step.manual == 0) {
                EXPECT_EQ(ConfigValue("TimeDelay"), step.delay) << "command " << step.command;
            }
        }
        // The manual commands leave the stored delay as the store holds it.
        Command(window, ID_TRAY_DELAY_3_MIN);
        Command(window, IDC_MANUAL_START);
        EXPECT_EQ(ConfigValue("TimeDelay"), 180000u);

        SendMessageA(GetDlgItem(window, IDC_MINUTES_SPIN), UDM_SETPOS, 0, MAKELPARAM(30, 0));
        Command(window, IDC_APPLY);
        EXPECT_EQ(ConfigValue("TimeDelay"), 30u * 60000u);
        EXPECT_EQ(ConfigValue("Manual"), 0u);
        // The opening's status stands until the next start.
        EXPECT_EQ(Text(window, IDC_STATUS), "Start manually");
    });
}

TEST_F(PacewickDlgTest, CloseBoxHidesIntoTheTrayAndOpenBringsItBack) {
    const INT_PTR result = RunDialog(dialog_, [&](HWND window) {
        ASSERT_TRUE(WaitFor([&] { return tray_.adds.load() == 1; })) << "no icon at the first paint";
        const NOTIFYICONDATAA& icon = tray_.added;
        EXPECT_EQ(icon.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
        EXPECT_EQ(icon.hWnd, window);
        EXPECT_EQ(icon.uID, 1u);
        EXPECT_EQ(icon.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
        EXPECT_EQ(icon.uCallbackMessage, 3031u);
        EXPECT_STREQ(icon.szTip, "Pacewick Running");
        EXPECT_NE(icon.hIcon, nullptr);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(window, WM_QUERYDRAGICON, 0, 0)), icon.hIcon);

        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_FALSE(IsWindowVisible(window));
        // Shown by other means (a second start), it hides again at once.
        ShowWindow(window, SW_SHOWNORMAL);
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_FALSE(IsWindowVisible(window));

        Command(window, ID_TRAY_OPEN);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_FALSE(IsIconic(window));
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
        EXPECT_TRUE(IsWindowVisible(window)) << "hidden again after Open";

        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE | 0x2, 0);  // low bits are the system's own
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(tray_.adds.load(), 1) << "the icon was added again";
        EXPECT_EQ(tray_.others.load(), 0) << "the icon was deleted";

        EXPECT_EQ(SendMessageA(window, CPacewickDlg::kTrayMessage, 2, WM_RBUTTONDOWN), E_FAIL);
        EXPECT_EQ(SendMessageA(window, CPacewickDlg::kTrayMessage, 1, WM_LBUTTONUP), 0);
        EXPECT_EQ(FindWindowA("#32768", nullptr) && IsWindowVisible(FindWindowA("#32768", nullptr)), false);

        // Escape ends the dialog, unlike the close box.
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(window); }));
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(PacewickDlgTest, TrayMenuHoldsTheCommandsInOrder) {
    RunDialog(dialog_, [&](HWND window) {
        ASSERT_TRUE(WaitFor([&] { return tray_.adds.load() == 1; }));
        PostMessageA(window, CPacewickDlg::kTrayMessage, CPacewickDlg::kTrayIconId, WM_LBUTTONDOWN);
        HWND popup = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            popup = FindWindowA("#32768", nullptr);
            return popup && IsWindowVisible(popup);
        }));
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        ASSERT_EQ(GetMenuItemCount(menu), 4);
        EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(ID_TRAY_RUN_ALL));
        EXPECT_EQ(GetMenuItemID(menu, 1), static_cast<UINT>(ID_TRAY_OPEN));
        EXPECT_EQ(GetMenuItemID(menu, 3), static_cast<UINT>(ID_TRAY_EXIT));
        HMENU delays = GetSubMenu(menu, 2);
        ASSERT_NE(delays, nullptr);
        const UINT ids[] = {ID_TRAY_DELAY_1_MIN, ID_TRAY_DELAY_3_MIN, ID_TRAY_DELAY_5_MIN, ID_TRAY_MANUAL};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(GetMenuItemID(delays, i), ids[i]);
        char label[64] = {};
        GetMenuStringA(menu, 2, label, sizeof label, MF_BYPOSITION);
        EXPECT_STREQ(label, "Set Delay Time");
        EXPECT_FALSE(GetMenuState(menu, ID_TRAY_RUN_ALL, MF_BYCOMMAND) & MF_GRAYED);

        // Choosing "Exit" from the menu ends the dialog.
        PostMessageA(window, WM_CANCELMODE, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(popup); }));
        PostMessageA(window, WM_COMMAND, ID_TRAY_EXIT, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(window); }));
    });
}

TEST_F(PacewickDlgTest, FailedTrayIconIsReportedOnceAndTheCloseBoxThenOnlyMinimises) {
    tray_.accept = false;
    RunDialog(dialog_, [&](HWND window) {
        HWND box = WaitForBox("Quorvell Tessel");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(BoxText(box), "Unable to Set Tary Icon.");
        Press(box, IDOK);

        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindowVisible(window)) << "hidden with no icon to bring it back";
        EXPECT_TRUE(IsIconic(window));
        Sleep(300);
        EXPECT_EQ(FindWindowA("#32770", "Quorvell Tessel"), nullptr) << "the set-up ran twice";
        EXPECT_EQ(tray_.adds.load(), 1);
    });
}

}  // namespace
