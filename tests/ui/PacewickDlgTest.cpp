// The main window run modally, driven from a second thread with real messages; one run covers several behaviours.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwctype>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "FakeTaskScheduler.h"
#include "RecordingEventSink.h"
#include "RegistrySandbox.h"
#include "Shortcuts.h"
#include "TestHelpers.h"
#include "app/KeeperHandOver.h"
#include "app/PacewickApp.h"
#include "takeover/StartupManager.h"
#include "keeperlink/KeeperProtocol.h"
#include "plan/PlanStore.h"
#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/MainWindowClass.h"
#include "ui/NewcomerNotice.h"
#include "ui/OriginLabel.h"
#include "ready/ImpactStore.h"
#include "ui/PacewickDlg.h"
#include "ui/ResourceText.h"
#include "win/Text.h"

namespace {

using Row = std::vector<std::string>;
using S = RegistrySandbox;
const char* const kDeleteQuestion = "Are you sure to delete this entry?";
const char* const kRestoreQuestion = "Are you sure to restore?";

void Command(HWND window, int command) { SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0); }

// Posts a command that asks by message box, answers it; its text once done ("" when no box came).
std::string Answered(HWND window, int command, const char* caption, int answer) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    HWND box = WaitForVisible("#32770", caption);
    if (!box) return "";
    const std::string text = Text(box, 0xFFFF);
    Press(box, answer);
    SendMessageA(window, WM_NULL, 0, 0);
    return text;
}

HWND List(HWND window) { return GetDlgItem(window, IDC_ENTRY_LIST); }

// The list's rows, each its first `columns` cells (the fifth is the start-up impact).
std::vector<Row> Rows(HWND window, int columns = 4) {
    std::vector<Row> rows(static_cast<std::size_t>(SendMessageA(List(window), LVM_GETITEMCOUNT, 0, 0)), Row(columns));
    char text[300];
    LVITEMA item = {};
    item.pszText = text;
    item.cchTextMax = sizeof text;
    for (std::size_t row = 0; row < rows.size(); ++row)
        for (item.iSubItem = 0; item.iSubItem < columns; ++item.iSubItem) {
            text[0] = '\0';
            SendMessageA(List(window), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            rows[row][item.iSubItem] = text;
        }
    return rows;
}

// Selects the row named `name` only, or none with "".
bool Select(HWND window, const std::string& name) {
    const auto rows = Rows(window);
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    SendMessageA(List(window), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row[0] == name; });
    if (found == rows.end()) return name.empty();
    state.state = LVIS_SELECTED;
    SendMessageA(List(window), LVM_SETITEMSTATE, found - rows.begin(), reinterpret_cast<LPARAM>(&state));
    return true;
}

// The open pop-up menu's items: text, " *" when checked (as a radio item: " (*)"), " ~" when greyed; "-" a separator.
std::vector<std::string> MenuItems(HWND popup) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
    std::vector<std::string> items;
    for (int at = 0; at < GetMenuItemCount(menu); ++at) {
        char text[128] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(at), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            items.push_back("-");
            continue;
        }
        std::string item = text;
        if (info.fState & MFS_CHECKED) item += (info.fType & MFT_RADIOCHECK) ? " (*)" : " *";
        if (info.fState & MFS_GRAYED) item += " ~";
        items.push_back(item);
    }
    return items;
}

// The menu a row offers, its levels (in their menu order) checked and greyed as given.
std::vector<std::string> RowMenu(const char* checked, bool greyed = false) {
    std::vector<std::string> items;
    for (const char* level : {"&At log-on", "&When ready", "After the de&lay", "Only by &hand", "As &set"})
        items.push_back(std::string(level) + (std::string(level) == (checked ? checked : "") ? " (*)" : "") +
                        (greyed ? " ~" : ""));
    items.insert(items.end(), {"-", "&Run", "&Delete entry"});
    return items;
}

// The tray icon's menu, opened by a click, handed to `read` and closed; false when none opened.
bool ReadTrayMenu(HWND window, const std::function<void(HWND popup)>& read) {
    PostMessageA(window, CPacewickDlg::kTrayMessage, CPacewickDlg::kTrayIconId, WM_RBUTTONDOWN);
    HWND popup = WaitForVisible("#32768", nullptr);
    if (!popup) return false;
    read(popup);
    PostMessageA(window, WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); })) << "the tray menu stayed open";
    return true;
}

// The state of one item of the tray icon's menu; 0xFFFFFFFF when none opened.
UINT TrayMenuItemState(HWND window, UINT command) {
    UINT state = 0xFFFFFFFF;
    ReadTrayMenu(window, [&](HWND popup) {
        state = GetMenuState(reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0)), command, MF_BYCOMMAND);
    });
    return state;
}

// The tray menu's items, each its command (a submenu's: 0xFFFFFFFF) and as MenuItems shows it.
std::vector<std::pair<UINT, std::string>> TrayMenu(HWND window) {
    std::vector<std::pair<UINT, std::string>> items;
    ReadTrayMenu(window, [&](HWND popup) {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        const std::vector<std::string> shown = MenuItems(popup);
        for (std::size_t at = 0; at < shown.size(); ++at)
            items.emplace_back(GetMenuItemID(menu, static_cast<int>(at)), shown[at]);
    });
    return items;
}

// The image's string table rewritten in place while it lives (capitals, blanks as '_'): unmarked text is built in code.
class MarkedStringTable {
public:
    MarkedStringTable() {
        EnumResourceNamesW(nullptr, reinterpret_cast<LPCWSTR>(RT_STRING), &MarkBlock, reinterpret_cast<LONG_PTR>(this));
    }
    ~MarkedStringTable() {
        for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
            std::copy(block->original.begin(), block->original.end(), block->at);
            DWORD ignored = 0;
            VirtualProtect(block->at, block->original.size() * sizeof(wchar_t), block->protection, &ignored);
        }
    }
    MarkedStringTable(const MarkedStringTable&) = delete;
    MarkedStringTable& operator=(const MarkedStringTable&) = delete;
    std::size_t Blocks() const { return blocks_.size(); }

    static std::string Marked(std::string text) {
        for (char& c : text) c = c == ' ' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }

private:
    struct Block {
        wchar_t* at;
        std::wstring original;
        DWORD protection;
    };
    // A block holds 16 texts, each its length and then its characters.
    static BOOL CALLBACK MarkBlock(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR self) {
        HRSRC found = FindResourceW(module, name, type);
        auto* at = found ? static_cast<wchar_t*>(LockResource(LoadResource(module, found))) : nullptr;
        const std::size_t units = found ? SizeofResource(module, found) / sizeof(wchar_t) : 0;
        DWORD protection = 0;
        if (!at || !VirtualProtect(at, units * sizeof(wchar_t), PAGE_READWRITE, &protection)) return FALSE;
        reinterpret_cast<MarkedStringTable*>(self)->blocks_.push_back({at, std::wstring(at, units), protection});
        for (std::size_t next = 0; next < units; next += 1 + at[next])
            for (std::size_t i = next + 1; i <= next + at[next] && i < units; ++i)
                at[i] = at[i] == L' ' ? L'_' : static_cast<wchar_t>(std::towupper(at[i]));
        return TRUE;
    }
    std::vector<Block> blocks_;
};

// Runs the dialog here while `drive` works on its window from a second thread; then "Exit".
INT_PTR RunDialog(CPacewickDlg& dialog, const std::function<void(HWND)>& drive) {
    std::thread driver([&] {
        HWND window = WaitForVisible(win::Utf8ForDisplay(ui::kMainWindowClass).c_str(), nullptr);
        if (window) drive(window);
        else ADD_FAILURE() << "the main window never appeared";
        if (IsWindow(window)) PostMessageA(window, WM_COMMAND, IDC_EXIT, 0);
    });
    const INT_PTR result = dialog.DoModal();
    driver.join();
    return result;
}

class PacewickDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ui::RegisterMainWindowClass(GetModuleHandleA(nullptr)));
        dialog_.SetNotifyIconFunction([this](DWORD message, NOTIFYICONDATAW* data) {
            if (message == NIM_DELETE) ++trayDeletes_;
            if (message != NIM_ADD) return TRUE;
            ++trayAdds_;
            // What a new Explorer needs to show the icon and report clicks on it.
            const UINT whole = NIF_MESSAGE | NIF_ICON | NIF_TIP;
            wholeTrayAdds_ += (data->uFlags & whole) == whole && data->uCallbackMessage == CPacewickDlg::kTrayMessage &&
                              data->hIcon != nullptr && data->szTip[0] != L'\0';
            return refuseTrayAdds_ ? FALSE : TRUE;
        });
    }
    static void SetConfig(DWORD manual, DWORD delay) {
        const std::pair<const char*, DWORD> values[] = {{"Manual", manual}, {"TimeDelay", delay}, {"Restored", 0}};
        for (const auto& [name, number] : values) S::Put(HKEY_CURRENT_USER, keys::kConfig, name, S::Dword(number));
    }
    static bool ConfigIs(const char* name, DWORD number) {
        return S::Get(HKEY_CURRENT_USER, keys::kConfig, name) == S::Dword(number);
    }
    // The names each BackUp key holds, sorted: "user names | machine names".
    static std::string BackedUp() {
        std::string names;
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            auto held = S::ValueNames(hive, keys::kBackUp);
            std::sort(held.begin(), held.end());
            for (const std::string& name : held) names += name + " ";
            names += hive == HKEY_CURRENT_USER ? "| " : "";
        }
        return names;
    }
    static bool InRun(HKEY hive, const char* name) { return S::Get(hive, keys::kRun, name).has_value(); }
    // Explorer's broadcast after a restart, which every top-level window gets.
    static void TaskbarCreated(HWND window) { SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0); }

    RegistrySandbox sandbox_;
    TestEngine engine_;
    CConfigStore config_;
    WatcherSet monitors_{lists::WatchTargetsOf(engine_.sources, ~0u), [this] { engine_.manager.TakeOver(); }};
    std::atomic<int> trayAdds_{0}, wholeTrayAdds_{0}, trayDeletes_{0};
    std::atomic<bool> refuseTrayAdds_{false};
    CPacewickDlg dialog_{nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, engine_.launcher, config_},
                         [this] { monitors_.Stop(CPacewickApp::kWatcherStopTimeout); }};
};

// Manual start: the list, deleting by each origin label, the clock, Run, Run All; Restore All stops the monitors.
TEST_F(PacewickDlgTest, ManualStartListsDeletesLaunchesOnRequestAndRestoresAll) {
    LaunchLog log;
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "UserOnly", "C:\\u.exe");
    S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "MachineOnly", "C:\\m.exe");
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        S::PutText(hive, keys::kBackUp, "Both", "C:\\b.exe");
        S::PutText(hive, keys::kBackUp, "Half", "C:\\h.exe");
    }
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Keeper", LaunchLog::Command("keeper"));
    // A logon task, which the scheduler no longer offers at the first refill.
    fake_tasks::Scheduler scheduler;
    scheduler.tasks = {{L"Nightly", TASK_EVENT_TRIGGER_AT_LOGON, L"Run at user logon", 1, false, L"C:\\n.exe"}};
    engine_.model.SetTaskSchedulerFactory(fake_tasks::FactoryOf(scheduler));
    engine_.manager.RebuildList();
    ASSERT_TRUE(engine_.model.WaitForLogonTasks(10000));
    ASSERT_TRUE(engine_.model.WaitForCompanies(10000));  // the last change of the list before the tasks go
    engine_.model.SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
    // Listed as in both keys while the machine's copy is already gone.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, keys::kBackUp, L"Half");
    std::vector<Row> expected;
    for (const StartupEntry& entry : engine_.List())
        expected.push_back({U8(entry.name), U8(entry.command), U8(entry.company), win::Utf8ForDisplay(ui::OriginLabel(entry.origin))});
    ASSERT_EQ(expected.size(), 6u);
    SetConfig(1, 1000);
    monitors_.Start();

    const INT_PTR result = RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Rows(window), expected);
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: 6");
        EXPECT_EQ(Text(window, IDC_STATUS), "Start manually");
        Sleep(1500);  // a 1000 ms countdown would have fired, a tick timer ticked
        EXPECT_EQ(Text(window, IDC_ELAPSED), "");
        EXPECT_TRUE(log.Lines().empty());
        const std::pair<int, const char*> ticks[] = {{59, "0 : 59"}, {1, "1 : 0"}, {1, "1 : 1"}};
        for (const auto& [count, shown] : ticks) {
            for (int i = 0; i < count; ++i) SendMessageA(window, WM_TIMER, CPacewickDlg::kTickTimer, 0);
            EXPECT_EQ(Text(window, IDC_ELAPSED), shown);
        }

        ASSERT_TRUE(Select(window, ""));
        EXPECT_EQ(Answered(window, IDC_DELETE_ENTRY, kDeleteQuestion, IDYES), "Press [Yes] to delete this entry.\n");
        EXPECT_EQ(Rows(window), expected) << "deleted with nothing selected";

        ASSERT_TRUE(Select(window, "Nightly"));
        PostMessageA(window, WM_COMMAND, IDC_DELETE_ENTRY, 0);
        ASSERT_TRUE(Press(WaitForVisible("#32770", kDeleteQuestion), IDYES));
        const std::string exe = TestProgramPath().substr(TestProgramPath().find_last_of('\\') + 1);
        HWND refusal = WaitForVisible("#32770", exe.substr(0, exe.rfind('.')).c_str());
        ASSERT_NE(refusal, nullptr) << "no refusal under the program's name";
        EXPECT_EQ(Text(refusal, 0xFFFF), "Sorry in this version you cannot delete entry from scheduled task");
        Press(refusal, IDOK);
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_EQ(Rows(window), expected);

        // Each label deletes from its own BackUp keys, on Yes only; the task row goes at the first refill.
        const std::tuple<const char*, int, const char*, std::size_t> deletions[] = {
            {"Half", IDYES, "Both Keeper UserOnly | Both MachineOnly ", 4},
            {"UserOnly", IDNO, "Both Keeper UserOnly | Both MachineOnly ", 4},
            {"UserOnly", IDYES, "Both Keeper | Both MachineOnly ", 3},
            {"MachineOnly", IDYES, "Both Keeper | Both ", 2},
            {"Both", IDYES, "Keeper | ", 1}};
        for (const auto& [name, answer, left, rows] : deletions) {
            // A watcher's refill may clear the selection between Select and the command: tried again.
            for (int tries = 0; tries < 2; ++tries) {
                ASSERT_TRUE(Select(window, name));
                if (!Answered(window, IDC_DELETE_ENTRY, kDeleteQuestion, answer).empty()) break;
            }
            EXPECT_EQ(BackedUp(), left) << name;
            EXPECT_EQ(Rows(window).size(), rows) << name;
            EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: " + std::to_string(rows));
        }

        ASSERT_TRUE(Select(window, "Keeper"));
        Command(window, IDC_RUN);
        EXPECT_TRUE(WaitUntil([&] { return log.Lines().size() == 1; }));
        EXPECT_TRUE(IsWindowVisible(window) && IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL))) << "Run ran all";
        Command(window, IDC_RUN_ALL);
        EXPECT_TRUE(WaitUntil([&] { return log.Lines().size() == 2; }));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));

        S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "MachineApp", "C:\\machine.exe");
        Answered(window, IDC_RESTORE_ALL, kRestoreQuestion, IDNO);
        EXPECT_TRUE(BackedUp() == "Keeper | MachineApp " && IsWindow(window)) << "restored on No";
        EXPECT_EQ(Answered(window, IDC_RESTORE_ALL, kRestoreQuestion, IDYES),
                  "Restoring all will move all your programs from delayed list to\nregular startup list and \n"
                  "it will also disable Pacewick Functionality.\nPress [Yes] to restore everything.\n");
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); })) << "the dialog did not end";
    });
    EXPECT_EQ(log.Lines(), std::vector<std::string>(2, LaunchLog::Command("keeper")));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(InRun(HKEY_CURRENT_USER, "Keeper") && InRun(HKEY_LOCAL_MACHINE, "MachineApp"));
    EXPECT_EQ(BackedUp(), "| ");
    EXPECT_TRUE(ConfigIs("Restored", 1));
    // No monitor is left to take a newcomer (or the restored values) over.
    S::PutText(HKEY_CURRENT_USER, keys::kRun, "Newcomer", "C:\\new.exe");
    Sleep(1500);
    EXPECT_TRUE(InRun(HKEY_CURRENT_USER, "Newcomer") && InRun(HKEY_CURRENT_USER, "Keeper"));
    monitors_.Stop();  // in case the restore never ran
}

// Timed start: a newcomer joins the countdown, which starts all once; a later one waits; delays; tray through restarts.
TEST_F(PacewickDlgTest, CountdownLaunchesNewcomersOnceAndTheTrayIconOutlivesExplorer) {
    LaunchLog log;
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "First", LaunchLog::Command("first"));
    S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "Second", LaunchLog::Command("second"));
    engine_.manager.RebuildList();
    SetConfig(0, 4000);
    monitors_.Start();
    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Text(window, IDC_STATUS), "Will start in 0 minute");
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), "Total Entries: 2");
        S::PutText(HKEY_CURRENT_USER, keys::kRun, "Newcomer", LaunchLog::Command("newcomer"));
        EXPECT_TRUE(WaitUntil([&] { return Text(window, IDC_ENTRY_COUNT) == "Total Entries: 3"; }, 3000))
            << "the list did not follow the take-over";
        EXPECT_TRUE(Select(window, "Newcomer")) << "no row for the newcomer";

        // Each command writes both values itself; the manual ones keep the last delay chosen.
        SendMessageA(GetDlgItem(window, IDC_MINUTES_SPIN), UDM_SETPOS, 0, MAKELPARAM(7, 0));
        const std::tuple<int, DWORD, DWORD> steps[] = {  // command, Manual, TimeDelay
            {ID_TRAY_DELAY_1_MIN, 0, 60000}, {ID_TRAY_DELAY_3_MIN, 0, 180000}, {ID_TRAY_DELAY_5_MIN, 0, 300000},
            {ID_TRAY_MANUAL, 1, 300000},     {IDC_MANUAL_START, 1, 300000},    {IDC_APPLY, 0, 7 * 60000}};
        for (const auto& [command, manual, delay] : steps) {
            SetConfig(7, 7);
            Command(window, command);
            EXPECT_TRUE(ConfigIs("Manual", manual) && ConfigIs("TimeDelay", delay)) << command;
        }

        ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 15000)) << "the countdown never ended";
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));
        EXPECT_TRUE(std::regex_match(Text(window, IDC_STATUS), std::regex("3 started in \\d+:\\d\\d"))) << Text(window, IDC_STATUS);
        S::PutText(HKEY_CURRENT_USER, keys::kRun, "Late", LaunchLog::Command("late"));
        EXPECT_TRUE(WaitUntil([&] { return Text(window, IDC_ENTRY_COUNT) == "Total Entries: 4"; }, 3000));

        // A click on the icon opens its menu, whose Run All is off now.
        const UINT runAll = TrayMenuItemState(window, ID_TRAY_RUN_ALL);
        ASSERT_NE(runAll, 0xFFFFFFFFu) << "the tray menu did not open";
        EXPECT_TRUE(runAll & MF_GRAYED);
        // Neither the button nor the tray item nor a timer starts them again.
        Command(window, IDC_RUN_ALL);
        Command(window, ID_TRAY_RUN_ALL);
        SendMessageA(window, WM_TIMER, CPacewickDlg::kLaunchTimer, 0);
        Sleep(1500);

        // Explorer restarts while hidden: the whole icon comes back and the window stays in the tray.
        ASSERT_EQ(trayAdds_.load(), 1) << "no icon at the first paint, or more than one";
        TaskbarCreated(window);
        EXPECT_EQ(trayAdds_.load(), 2);
        EXPECT_FALSE(IsWindowVisible(window));
        Command(window, ID_TRAY_OPEN);
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
        EXPECT_TRUE(IsWindowVisible(window)) << "hidden again after Open";
        // And while it is shown: it stays shown.
        TaskbarCreated(window);
        EXPECT_EQ(trayAdds_.load(), 3);
        EXPECT_TRUE(IsWindowVisible(window) && !IsIconic(window));
        // The close box hides it into the tray, and it hides again when shown by a second start.
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE | 0x2, 0);  // the low bits are the system's own
        EXPECT_TRUE(IsWindow(window) && !IsWindowVisible(window));
        ShowWindow(window, SW_SHOWNORMAL);
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_FALSE(IsWindowVisible(window));
        // A new Explorer that refuses the icon: the window comes back to the taskbar.
        refuseTrayAdds_ = true;
        TaskbarCreated(window);
        EXPECT_EQ(trayAdds_.load(), 4);
        EXPECT_EQ(wholeTrayAdds_.load(), 4) << "the icon came back without its menu or tip";
        EXPECT_TRUE(IsWindowVisible(window) && IsIconic(window)) << "hidden without an icon to bring it back";
        EXPECT_EQ(SendMessageA(window, CPacewickDlg::kTrayMessage, 2, WM_RBUTTONDOWN), E_FAIL);
        EXPECT_EQ(trayDeletes_.load(), 0) << "the icon went while the window was there";
    });
    monitors_.Stop();
    EXPECT_EQ(log.WaitFor(3), (std::vector<std::string>{LaunchLog::Command("first"), LaunchLog::Command("newcomer"),
                                                        LaunchLog::Command("second")}));
    EXPECT_TRUE(S::Get(HKEY_CURRENT_USER, keys::kBackUp, "Late")) << "the late one was not kept";
    EXPECT_EQ(trayDeletes_.load(), 1) << "the icon outlived the window";
}

// 300 slow starts: the window answers at once, Exit ends it at once, none started twice or after the window.
TEST_F(PacewickDlgTest, ALongLaunchLeavesTheWindowAnsweringAndExitEndsItAtOnce) {
    constexpr std::size_t kHeld = 300;
    const bool said = DiagnosticsEnabled().exchange(false);  // a line for each of them
    for (std::size_t i = 0; i < kHeld; ++i)
        S::PutText(HKEY_CURRENT_USER, keys::kBackUp, ("Held " + std::to_string(i)).c_str(), "C:\\held.exe " + std::to_string(i));
    engine_.manager.RebuildList();
    std::mutex mutex;
    std::vector<std::string> started;
    std::atomic<HWND> window{nullptr};
    std::atomic<int> afterWindow{0};
    const auto count = [&] {
        const std::lock_guard<std::mutex> guard(mutex);
        return started.size();
    };
    const launch::Launcher slow(engine_.model, launch::Launcher::Starts{[&](const std::wstring& command) {
                            afterWindow += !IsWindow(window);
                            Sleep(20);
                            const std::lock_guard<std::mutex> guard(mutex);
                            return started.push_back(U8(command)), true;
                        }, nullptr});
    CPacewickDlg dialog(nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, slow, config_}, nullptr);
    dialog.SetNotifyIconFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
    SetConfig(0, 200);
    ULONGLONG exitAt = 0;
    RunDialog(dialog, [&](HWND shown) {
        window = shown;
        ASSERT_TRUE(WaitUntil([&] { return count() >= 10; }, 10000));
        DWORD_PTR answer = 0;
        const ULONGLONG asked = GetTickCount64();
        EXPECT_TRUE(SendMessageTimeoutA(shown, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer));
        EXPECT_LT(GetTickCount64() - asked, 100u) << "the window did not answer during the starts";
        exitAt = GetTickCount64();
        PostMessageA(shown, WM_COMMAND, IDC_EXIT, 0);
    });
    EXPECT_LT(GetTickCount64() - exitAt, 1000u) << "Exit waited for the starts";
    Sleep(200);  // a start after the end would show now
    EXPECT_LT(count(), kHeld) << "every program started before Exit";
    std::sort(started.begin(), started.end());
    EXPECT_EQ(std::adjacent_find(started.begin(), started.end()), started.end()) << "a program started twice";
    EXPECT_EQ(afterWindow.load(), 0) << "started once the window was gone";
    EXPECT_EQ(S::ValueNames(HKEY_CURRENT_USER, keys::kBackUp).size(), kHeld);
    DiagnosticsEnabled() = said;
}

// The keeper's hold-off is shown to every account until it ends; an administrator is offered once to end it.
TEST_F(PacewickDlgTest, SaysWhileTheKeeperHoldsOffAndOffersAnAdministratorOnceToEndIt) {
    const auto holdOff = [](DWORD held) { S::Put(HKEY_LOCAL_MACHINE, keeper::kKeeperKey, "KeeperHoldOff", S::Dword(held)); };
    const auto note = [](HWND window) {
        HWND line = GetDlgItem(window, IDC_HOLD_OFF_NOTE);
        return IsWindowVisible(line) ? Text(window, IDC_HOLD_OFF_NOTE) : std::string("(hidden)");
    };
    const std::string said = "Not delayed since a Restore All: the programs of every user start with Windows.";
    SetConfig(1, 60000);
    holdOff(1);
    CPacewickDlg::MachineLists lists;
    lists.heldOff = machinekeys::KeeperHoldsOff;
    dialog_.SetMachineLists(lists);
    RunDialog(dialog_, [&](HWND window) {  // a standard user's: no offer
        EXPECT_EQ(said, note(window));
        EXPECT_FALSE(WaitForVisible("#32770", nullptr, 300));
        holdOff(0);  // another account's administrator ended it
        PostMessageA(window, CPacewickDlg::kListChangedMessage, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return note(window) == "(hidden)"; }));
    });
    holdOff(1);
    std::atomic<int> offers{0};
    lists.endHoldOff = [&](HWND) { ++offers; };  // declined
    CPacewickDlg admin(nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, engine_.launcher, config_}, nullptr);
    admin.SetNotifyIconFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
    admin.SetMachineLists(lists);
    RunDialog(admin, [&](HWND window) {
        EXPECT_TRUE(WaitUntil([&] { return offers == 1; }));
        PostMessageA(window, CPacewickDlg::kListChangedMessage, 0, 0);
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_EQ(said, note(window));
        Sleep(200);
        EXPECT_EQ(1, offers.load()) << "offered again at a change of the list";
    });
    lists.endHoldOff = [&](HWND) { ++offers, holdOff(0); };  // accepted
    CPacewickDlg accepting(nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, engine_.launcher, config_}, nullptr);
    accepting.SetNotifyIconFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
    holdOff(1);
    accepting.SetMachineLists(lists);
    RunDialog(accepting, [&](HWND window) {
        EXPECT_TRUE(WaitUntil([&] { return offers == 2 && note(window) == "(hidden)"; })) << note(window);
    });
}

TEST_F(PacewickDlgTest, ShowsTheStringTableAsItStandsAndFillsItsNumbersIn) {
    using M = MarkedStringTable;
    EXPECT_EQ(ui::ResourceText(IDS_STATUS_READY_PROGRESS, {L"%2", L"3"}), L"Starting when ready: %2 of 3")
        << "a fill was read for placeholders";
    EXPECT_EQ(ui::ResourceText(IDS_ELAPSED, {L"4"}), L"4 : %2") << "a placeholder without a fill";
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Solo", "C:\\solo.exe");
    engine_.manager.RebuildList();
    SetConfig(1, 1000);
    const M table;
    ASSERT_GT(table.Blocks(), 0u) << "no string table to mark";
    std::mutex mutex;
    std::wstring tip;
    refuseTrayAdds_ = true;
    dialog_.SetNotifyIconFunction([&](DWORD message, NOTIFYICONDATAW* data) {
        const std::lock_guard<std::mutex> guard(mutex);
        if (message == NIM_ADD) tip = data->szTip;
        return message == NIM_ADD ? FALSE : TRUE;
    });
    // The message box that comes next, "caption: text", answered; whatever its caption, so that none stays open.
    const auto box = [](HWND window, int answer) {
        HWND shown = WaitForVisible("#32770", nullptr);
        if (!shown) return std::string("(none)");
        char caption[256] = {};
        GetWindowTextA(shown, caption, sizeof caption);
        const std::string said = caption + (": " + Text(shown, 0xFFFF));
        Press(shown, answer);
        SendMessageA(window, WM_NULL, 0, 0);
        return said;
    };
    const auto marked = [](const std::string& caption, const std::string& text) {
        return M::Marked(caption) + ": " + M::Marked(text);
    };
    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(box(window, IDOK), marked("Quorvell Tessel", "Unable to Set Tary Icon."));
        {
            const std::lock_guard<std::mutex> guard(mutex);
            EXPECT_EQ(tip, L"PACEWICK_RUNNING");
        }
        std::vector<std::string> headings;
        for (int column = 0; column < 6; ++column) {
            char text[64] = {};
            LVCOLUMNA heading = {};
            heading.mask = LVCF_TEXT;
            heading.pszText = text;
            heading.cchTextMax = sizeof text;
            SendMessageA(List(window), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&heading));
            headings.push_back(text);
        }
        EXPECT_EQ(headings, (std::vector<std::string>{M::Marked("Program Name"), M::Marked("Program Location"),
                                                      M::Marked("Company"), M::Marked("Location"),
                                                      M::Marked("Start-up impact"), M::Marked("Starts")}));
        const std::vector<Row> rows = Rows(window, 6);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][3], M::Marked("Current user start-up list"));
        EXPECT_EQ(rows[0][4], M::Marked("Not measured"));
        EXPECT_EQ(rows[0][5], M::Marked("As set"));
        EXPECT_EQ(Text(window, IDC_ENTRY_COUNT), M::Marked("Total Entries: 1"));
        EXPECT_EQ(Text(window, IDC_STATUS), M::Marked("Start manually"));
        for (int i = 0; i < 61; ++i) SendMessageA(window, WM_TIMER, CPacewickDlg::kTickTimer, 0);
        EXPECT_EQ(Text(window, IDC_ELAPSED), M::Marked("1 : 1"));
        SendMessageA(window, CPacewickDlg::kReadyProgressMessage, 12, 345);
        EXPECT_EQ(Text(window, IDC_STATUS), M::Marked("Starting when ready: 12 of 345"));
        ASSERT_TRUE(Select(window, ""));
        PostMessageA(window, WM_COMMAND, IDC_DELETE_ENTRY, 0);
        EXPECT_EQ(box(window, IDNO), marked(kDeleteQuestion, "Press [Yes] to delete this entry.\n"));
        PostMessageA(window, WM_COMMAND, IDC_RESTORE_ALL, 0);
        EXPECT_EQ(box(window, IDNO),
                  marked(kRestoreQuestion, "Restoring all will move all your programs from delayed list to\n"
                                           "regular startup list and \nit will also disable Pacewick Functionality.\n"
                                           "Press [Yes] to restore everything.\n"));
    });
    SetConfig(0, 120000);
    CPacewickDlg timed(nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, engine_.launcher, config_}, nullptr);
    timed.SetNotifyIconFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
    RunDialog(timed, [&](HWND window) { EXPECT_EQ(Text(window, IDC_STATUS), M::Marked("Will start in 2 minute")); });
}

// Newcomers taken over while the window runs: one notice a name a day, across starts; none for what the start
// found, none while switched off; each says when its level starts it; a click shows its row.
TEST_F(PacewickDlgTest, TellsOfEachNewcomerOnceADayAndAClickShowsItsRow) {
    ui::NewcomerInbox inbox;
    WatcherSet watchers(lists::WatchTargetsOf(engine_.sources, ~0u),
                        [&] { inbox.Hand(engine_.manager.TakeOverNewcomers()); });
    std::mutex mutex;
    std::vector<std::wstring> notices;  // "title: text"
    const auto notified = [&] {
        const std::lock_guard<std::mutex> guard(mutex);
        return notices;
    };
    const auto record = [&](DWORD message, NOTIFYICONDATAW* data) {
        const std::lock_guard<std::mutex> guard(mutex);
        if (message == NIM_MODIFY && (data->uFlags & NIF_INFO) && data->cbSize >= NOTIFYICONDATAW_V2_SIZE)
            notices.push_back(std::wstring(data->szInfoTitle) + L": " + data->szInfo);
        return TRUE;
    };
    const std::wstring title = L"New start-up program: ";
    const auto added = [&](const char* name, const wchar_t* when) {
        return title + W(name) + L" was added to your start-up programs. Pacewick will start it " + when + L".";
    };
    const auto addAndWait = [](const char* name) {
        S::PutText(HKEY_CURRENT_USER, keys::kRun, name, "C:\\new.exe");
        return WaitUntil([&] { return !InRun(HKEY_CURRENT_USER, name) && S::Get(HKEY_CURRENT_USER, keys::kBackUp, name); });
    };
    for (int i = 0; i < 40; ++i)  // a list longer than the window shows
        S::PutText(HKEY_CURRENT_USER, keys::kBackUp, ("Held " + std::to_string(i)).c_str(), "C:\\held.exe");
    S::PutText(HKEY_CURRENT_USER, keys::kRun, "AtStart", "C:\\start.exe");
    StartupEntry later;
    later.name = L"Later";
    ASSERT_TRUE(plan::PlanStore().Write(later, plan::StartLevel::WhenReady));
    SetConfig(0, 600000);
    watchers.Start();
    engine_.manager.TakeOver();  // the start's own, as the program's start-up makes it
    ASSERT_FALSE(InRun(HKEY_CURRENT_USER, "AtStart"));
    dialog_.SetNewcomers(inbox);
    dialog_.SetNotifyIconFunction(record);
    RunDialog(dialog_, [&](HWND window) {
        EXPECT_FALSE(S::Get(HKEY_CURRENT_USER, keys::kConfig, "NotifyNewcomers")) << "written before it was chosen";
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_NOTIFY_NEWCOMERS), BST_CHECKED);
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(addAndWait("Nagger")) << i;
        ASSERT_TRUE(addAndWait("Later"));
        const std::vector<std::wstring> expected = {added("Nagger", L"after the delay"),
                                                    added("Later", L"when the computer is ready")};
        EXPECT_TRUE(WaitUntil([&] { return notified().size() >= 2; }));
        Sleep(300);  // a notice too many would show now
        EXPECT_EQ(notified(), expected);

        // A click on the notice: the window comes out of the tray with the last one's row chosen and in view.
        HWND list = List(window);
        const int last = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) - 1;
        SendMessageA(list, LVM_ENSUREVISIBLE, last, FALSE);
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_FALSE(IsWindowVisible(window));
        SendMessageA(window, CPacewickDlg::kTrayMessage, CPacewickDlg::kTrayIconId, NIN_BALLOONUSERCLICK);
        EXPECT_TRUE(IsWindowVisible(window));
        const int chosen = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        ASSERT_GE(chosen, 0) << "no row chosen";
        EXPECT_EQ(Rows(window)[static_cast<std::size_t>(chosen)][0], "Later");
        EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), chosen);
        const auto top = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
        EXPECT_TRUE(chosen >= top && chosen < top + SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0)) << top;
        // And the row's menu ready, its level checked. Under Xvfb, with no window manager, the X server's word that
        // the window just shown has the focus can come after the menu opened, and close it: the click once more then.
        HWND menu = WaitForVisible("#32768", nullptr, 3000);
        if (!menu) {
            SendMessageA(window, CPacewickDlg::kTrayMessage, CPacewickDlg::kTrayIconId, NIN_BALLOONUSERCLICK);
            menu = WaitForVisible("#32768", nullptr, 3000);
        }
        ASSERT_NE(menu, nullptr) << "the row's menu is not open";
        EXPECT_EQ(MenuItems(menu), RowMenu("&When ready"));
        PostMessageA(window, WM_CANCELMODE, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
        EXPECT_TRUE(WaitUntil([&] {
            GUITHREADINFO focus = {};
            focus.cbSize = sizeof focus;
            return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &focus) && focus.hwndFocus == list;
        })) << "the list has not the keyboard's focus";

        // Switched off by the tray item, kept in Config: taken over, not told; on again by the box.
        Command(window, ID_TRAY_NOTIFY_NEWCOMERS);
        EXPECT_TRUE(ConfigIs("NotifyNewcomers", 0));
        EXPECT_FALSE(TrayMenuItemState(window, ID_TRAY_NOTIFY_NEWCOMERS) & MF_CHECKED);
        ASSERT_TRUE(addAndWait("Quiet"));
        Sleep(300);  // the window has had the watcher's word
        SendMessageA(GetDlgItem(window, IDC_NOTIFY_NEWCOMERS), BM_CLICK, 0, 0);
        EXPECT_TRUE(ConfigIs("NotifyNewcomers", 1));
        EXPECT_TRUE(TrayMenuItemState(window, ID_TRAY_NOTIFY_NEWCOMERS) & MF_CHECKED);
        EXPECT_EQ(notified().size(), 2u) << "told while switched off";
    });
    // The next start: today's names stay told of; one last told of a day before is told of again, and the
    // names of other days are forgotten.
    const auto told = S::Get(HKEY_CURRENT_USER, keys::kNotified, "Nagger");
    ASSERT_TRUE(told && told->type == REG_DWORD && told->count() == sizeof(DWORD));
    DWORD today = 0;
    std::memcpy(&today, told->data(), sizeof today);
    S::Put(HKEY_CURRENT_USER, keys::kNotified, "Later", S::Dword(today - 1));
    S::Put(HKEY_CURRENT_USER, keys::kNotified, "Long gone", S::Dword(today - 30));
    CPacewickDlg next(nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, engine_.launcher, config_}, nullptr);
    next.SetNotifyIconFunction(record);
    next.SetNewcomers(inbox);
    RunDialog(next, [&](HWND) {
        ASSERT_TRUE(addAndWait("Nagger"));
        ASSERT_TRUE(addAndWait("Later"));
        EXPECT_TRUE(WaitUntil([&] { return notified().size() >= 3; }));
        Sleep(300);
    });
    watchers.Stop();
    EXPECT_EQ(notified().size(), 3u);
    EXPECT_EQ(notified().back(), added("Later", L"when the computer is ready"));
    auto kept = S::ValueNames(HKEY_CURRENT_USER, keys::kNotified);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"Later", "Nagger"}));
}

// Each level's sentence, under the settings a level "As set" follows; another program's name shown in one line
// (no control character nor direction mark) and cut, never inside a character, to the notice's room.
TEST(NewcomerNotice, SaysWhenEachLevelStartsAndShowsAnyNameSafelyWithinItsRoom) {
    using L = plan::StartLevel;
    const plan::Settings plain, ready{false, true}, manual{true, false};
    const std::tuple<L, plan::Settings, const wchar_t*> cases[] = {
        {L::AtLogOn, plain, L"at your next log-on"},     {L::WhenReady, plain, L"when the computer is ready"},
        {L::AfterDelay, plain, L"after the delay"},      {L::OnlyByHand, plain, L"only when you ask"},
        {L::AsSet, plain, L"after the delay"},           {L::AsSet, ready, L"when the computer is ready"},
        {L::AsSet, manual, L"only when you ask"},        {L::WhenReady, manual, L"only when you ask"},
        {L::AtLogOn, manual, L"at your next log-on"}};
    StartupEntry entry;
    entry.name = L"Tool";
    for (const auto& [level, settings, when] : cases)
        EXPECT_EQ(ui::NoticeText(entry, level, settings),
                  std::wstring(L"Tool was added to your start-up programs. Pacewick will start it ") + when + L".")
            << static_cast<int>(level);

    entry.name = L"Update\r\nPacewick will start it at your next log-on.\u202Eexe.\t\x85\u2028";
    const std::wstring shown = ui::NoticeText(entry, L::OnlyByHand, plain);
    EXPECT_EQ(shown, L"Update\uFFFD\uFFFDPacewick will start it at your next log-on.\uFFFDexe.\uFFFD\uFFFD\uFFFD"
                     L" was added to your start-up programs. Pacewick will start it only when you ask.");

    const std::wstring end = L" was added to your start-up programs. Pacewick will start it after the delay.";
    entry.name = std::wstring(300, L'x');
    const std::wstring cut = ui::NoticeText(entry, L::AfterDelay, plain);
    EXPECT_EQ(cut, std::wstring(ui::kNoticeUnits - end.size() - 1, L'x') + L"\u2026" + end);
    // Letters of two UTF-16 units after ASCII of every length: the cut falls between and inside them.
    for (std::size_t ascii = 130; ascii < 180; ++ascii) {
        entry.name = std::wstring(ascii, L'a');
        while (win::Utf8(entry.name)->size() + 4 <= kEntryTextBytes) entry.name += L"\U0001F600";
        const std::wstring text = ui::NoticeText(entry, L::AfterDelay, plain);
        EXPECT_LE(text.size(), ui::kNoticeUnits) << ascii;
        EXPECT_TRUE(win::Utf8(text)) << "half a character at " << ascii;
        EXPECT_EQ(text.substr(text.size() - end.size()), end) << ascii;
    }
}

// Ready start: the heavy entry starts while a processor is spare, the light one at the countdown's end (the
// machine busy by then); the switches change the mode.
class OneSpareThenBusy : public ready::LoadSource {
public:
    ready::LoadSample Sample() override {
        SYSTEM_INFO system{};
        GetNativeSystemInfo(&system);
        const double oneSpare = 1.0 - 1.05 / system.dwNumberOfProcessors;
        return ready::LoadSample{++samples_ <= 5 ? oneSpare : 0.99, 0};
    }

private:
    int samples_ = 0;
};

TEST_F(PacewickDlgTest, StartsWhenReadyHeaviestFirstAndTheCountdownStartsTheRest) {
    LaunchLog log;
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Heavy", LaunchLog::Command("heavy"));
    S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp, "Light", LaunchLog::Command("light"));
    ASSERT_TRUE(ready::ImpactStore().Write(L"Heavy", {5000, 0}));
    ASSERT_TRUE(ready::ImpactStore().Write(L"Light", {10, 0}));
    engine_.manager.RebuildList();
    SetConfig(0, 5000);
    S::Put(HKEY_CURRENT_USER, keys::kConfig, "StartWhenReady", S::Dword(1));
    dialog_.SetLoadFactory([] { return std::make_unique<OneSpareThenBusy>(); });
    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Text(window, IDC_STATUS), "Will start in 0 minute");
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_START_WHEN_READY), BST_CHECKED);
        std::vector<std::string> impacts;  // each row's impact, beside the four columns it always had
        for (const Row& row : Rows(window, 5)) impacts.push_back(row[0] + " " + row[4]);
        std::sort(impacts.begin(), impacts.end());
        EXPECT_EQ(impacts, (std::vector<std::string>{"Heavy High", "Light Low"}));
        EXPECT_TRUE(WaitUntil([&] { return Text(window, IDC_STATUS) == "Starting when ready: 1 of 2"; }, 4000));
        EXPECT_EQ(log.WaitFor(1), std::vector<std::string>{LaunchLog::Command("heavy")});

        // The tray item shows the mode; both switches change the next start only.
        const UINT checked = TrayMenuItemState(window, ID_TRAY_START_WHEN_READY);
        ASSERT_NE(checked, 0xFFFFFFFFu) << "the tray menu did not open";
        EXPECT_TRUE(checked & MF_CHECKED);
        SendMessageA(GetDlgItem(window, IDC_START_WHEN_READY), BM_CLICK, 0, 0);
        EXPECT_TRUE(ConfigIs("StartWhenReady", 0) && ConfigIs("TimeDelay", 5000));
        EXPECT_FALSE(TrayMenuItemState(window, ID_TRAY_START_WHEN_READY) & MF_CHECKED);
        Command(window, ID_TRAY_START_WHEN_READY);
        EXPECT_TRUE(ConfigIs("StartWhenReady", 1));
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_START_WHEN_READY), BST_CHECKED);

        ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 10000)) << "the countdown never ended";
    });
    EXPECT_EQ(log.WaitFor(2), (std::vector<std::string>{LaunchLog::Command("heavy"), LaunchLog::Command("light")}));
}

// Nothing left for the countdown's end: the summary shows once the ready-start is through, long before it.
class AlwaysIdle : public ready::LoadSource {
public:
    ready::LoadSample Sample() override { return ready::LoadSample{0.01, 0}; }
};

TEST_F(PacewickDlgTest, SumsUpBeforeTheDeadlineOnceNothingIsLeftForIt) {
    LaunchLog log;
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Light", LaunchLog::Command("light"));
    engine_.manager.RebuildList();
    SetConfig(0, 60000);
    S::Put(HKEY_CURRENT_USER, keys::kConfig, "StartWhenReady", S::Dword(1));
    dialog_.SetLoadFactory([] { return std::make_unique<AlwaysIdle>(); });
    RunDialog(dialog_, [&](HWND window) {
        const std::regex summary("1 started in \\d+:\\d\\d");
        EXPECT_TRUE(WaitUntil([&] { return std::regex_match(Text(window, IDC_STATUS), summary); }, 10000)) << Text(window, IDC_STATUS);
        EXPECT_TRUE(IsWindowVisible(window)) << "the countdown ended";
    });
    EXPECT_EQ(log.WaitFor(1), std::vector<std::string>{LaunchLog::Command("light")});
}

// --- the start plan in the window: its column, a row's menu, the keyboard ----------------------------------

// Presses keys as the user would (down in order, up in reverse), to the window that has the keyboard's focus.
void Keys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs(keys.size() * 2);
    std::size_t at = 0;
    for (WORD key : keys) {
        inputs[at].type = inputs[inputs.size() - 1 - at].type = INPUT_KEYBOARD;
        inputs[at].ki.wVk = inputs[inputs.size() - 1 - at].ki.wVk = key;
        inputs[inputs.size() - 1 - at++].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// The control that has the focus in the window's thread.
HWND Focused(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// Selects the rows of these names (the first of them focused), none other.
void SelectRows(HWND window, const std::vector<std::string>& names) {
    ASSERT_TRUE(Select(window, ""));
    const auto rows = Rows(window);
    for (const std::string& name : names) {
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row[0] == name; });
        ASSERT_NE(found, rows.end()) << name;
        LVITEMA state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = name == names.front() ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_SELECTED;
        SendMessageA(List(window), LVM_SETITEMSTATE, found - rows.begin(), reinterpret_cast<LPARAM>(&state));
    }
}

// The names of the selected rows, and the focused one's after a '>'.
std::string Selection(HWND window) {
    std::string said;
    const auto rows = Rows(window);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const auto state = SendMessageA(List(window), LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_FOCUSED);
        if (state & LVIS_SELECTED) said += rows[row][0] + " ";
        if (state & LVIS_FOCUSED) said += ">" + rows[row][0] + " ";
    }
    return said;
}

// The Starts column of each row, "name level".
std::vector<std::string> Starts(HWND window) {
    std::vector<std::string> starts;
    for (const Row& row : Rows(window, 6)) starts.push_back(row[0] + " " + row[5]);
    return starts;
}

// The level chosen for a Run value's name, as stored; none: nothing stored.
std::optional<RegValueBlob> PlanOf(const char* name) {
    return S::Get(HKEY_CURRENT_USER, (U8(keys::kPlan) + "\\Run").c_str(), name);
}

// Each level shown in its column; a row's menu by right click, Shift+F10, the menu key and a notification; one or several rows.
TEST_F(PacewickDlgTest, ShowsEachEntrysStartLevelAndSetsItFromARowsMenu) {
    const std::pair<const char*, DWORD> chosen[] = {{"Log", 1}, {"Ready", 2}, {"Delay", 3}, {"Hand", 4}, {"Set", 0}, {"Odd", 9}};
    S::Create(HKEY_CURRENT_USER, (U8(keys::kPlan) + "\\Run").c_str());
    for (const auto& [name, level] : chosen) {
        S::PutText(HKEY_CURRENT_USER, keys::kBackUp, name, "C:\\p.exe");
        S::Put(HKEY_CURRENT_USER, (U8(keys::kPlan) + "\\Run").c_str(), name, S::Dword(level));
    }
    S::PutText(HKEY_CURRENT_USER, keys::kBackUp, "Plain", "C:\\p.exe");
    fake_tasks::Scheduler scheduler;
    scheduler.tasks = {{L"Nightly", TASK_EVENT_TRIGGER_AT_LOGON, L"Run at user logon", 1, false, L"C:\\n.exe"}};
    engine_.model.SetTaskSchedulerFactory(fake_tasks::FactoryOf(scheduler));
    engine_.manager.RebuildList();
    ASSERT_TRUE(engine_.model.WaitForLogonTasks(10000));
    SetConfig(1, 60000);
    RunDialog(dialog_, [&](HWND window) {
        char heading[32] = {};
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = heading;
        column.cchTextMax = sizeof heading;
        SendMessageA(List(window), LVM_GETCOLUMNA, 5, reinterpret_cast<LPARAM>(&column));
        EXPECT_STREQ(heading, "Starts");
        std::vector<std::string> starts = Starts(window);
        std::sort(starts.begin(), starts.end());
        EXPECT_EQ(starts, (std::vector<std::string>{"Delay After the delay", "Hand Only by hand", "Log At log-on", "Nightly ",
                                                    "Odd As set", "Plain As set", "Ready When ready", "Set As set"}));
        SetForegroundWindow(window);
        SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(List(window)), TRUE);

        // Right click on a row: its level checked; "Only by hand" by its mnemonic writes the plan and shows it.
        SelectRows(window, {"Delay"});
        RECT row = {};
        row.left = LVIR_LABEL;
        const auto index = SendMessageA(List(window), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
        SendMessageA(List(window), LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&row));
        PostMessageA(List(window), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(row.left + 4, row.top + 2));
        PostMessageA(List(window), WM_RBUTTONUP, 0, MAKELPARAM(row.left + 4, row.top + 2));
        HWND popup = WaitForVisible("#32768", nullptr, 3000);
        ASSERT_NE(popup, nullptr) << "no menu at a right click";
        EXPECT_EQ(MenuItems(popup), RowMenu("After the de&lay"));
        Keys({'H'});
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }));
        // Written by the window's thread once the menu has returned.
        EXPECT_TRUE(WaitUntil([&] { return PlanOf("Delay") == S::Dword(4); })) << "the level was not written";
        EXPECT_TRUE(WaitUntil([&] { return Rows(window, 6)[static_cast<std::size_t>(index)][5] == "Only by hand"; }));

        // Shift+F10 and the menu key: the menu opens at the focused row.
        MapWindowPoints(List(window), nullptr, reinterpret_cast<POINT*>(&row), 2);
        for (const WORD key : {WORD(VK_F10), WORD(VK_APPS)}) {
            key == VK_F10 ? Keys({VK_SHIFT, VK_F10}) : Keys({VK_APPS});
            popup = WaitForVisible("#32768", nullptr, 3000);
            ASSERT_NE(popup, nullptr) << "no menu at key " << key;
            EXPECT_EQ(MenuItems(popup), RowMenu("Only by &hand")) << key;
            RECT shown = {};
            GetWindowRect(popup, &shown);
            EXPECT_TRUE(shown.left >= row.left && shown.left < row.right && shown.top >= row.top && shown.top <= row.bottom + 2)
                << key << ": the menu is not at the focused row";
            Keys({VK_ESCAPE});
            EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }));
        }
        EXPECT_EQ(PlanOf("Delay"), S::Dword(4)) << "Escape chose a level";
        POINT headings = {4, 2};  // on the column headings, not a row
        ClientToScreen(List(window), &headings);
        PostMessageA(List(window), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List(window)), MAKELPARAM(headings.x, headings.y));
        EXPECT_FALSE(WaitForVisible("#32768", nullptr, 500)) << "a menu off the rows";

        // Several rows, a logon task among them, by the keyboard's message: no level checked, each row's written.
        SelectRows(window, {"Plain", "Ready", "Nightly"});
        PostMessageA(List(window), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List(window)), -1);
        popup = WaitForVisible("#32768", nullptr, 3000);
        ASSERT_NE(popup, nullptr) << "no menu for the notification's message";
        EXPECT_EQ(MenuItems(popup), RowMenu(nullptr));
        Keys({'A'});
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }));
        EXPECT_TRUE(WaitUntil([&] { return PlanOf("Plain") == S::Dword(1) && PlanOf("Ready") == S::Dword(1); }));
        EXPECT_FALSE(PlanOf("Nightly")) << "a logon task got a plan";
        starts = Starts(window);
        std::sort(starts.begin(), starts.end());
        EXPECT_EQ(starts, (std::vector<std::string>{"Delay Only by hand", "Hand Only by hand", "Log At log-on", "Nightly ",
                                                    "Odd As set", "Plain At log-on", "Ready At log-on", "Set As set"}));
        // A logon task alone: its levels greyed.
        SelectRows(window, {"Nightly"});
        PostMessageA(List(window), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List(window)), -1);
        popup = WaitForVisible("#32768", nullptr, 3000);
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(MenuItems(popup), RowMenu(nullptr, true));
        Keys({VK_ESCAPE});
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }));
    });
}

// Tab from the list through every control in reading order, read-only fields skipped; mnemonics; a second start opens a hidden window.
TEST_F(PacewickDlgTest, TheKeyboardReachesEveryControlAndASecondStartOpensTheHiddenWindow) {
    SetConfig(1, 60000);
    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Focused(window), List(window)) << "the list does not have the focus first";
        std::vector<int> order;
        HWND at = List(window);
        do {
            order.push_back(GetDlgCtrlID(at));
            at = GetNextDlgTabItem(window, at, FALSE);
        } while (at && at != List(window) && order.size() < 30);
        EXPECT_EQ(order, (std::vector<int>{IDC_ENTRY_LIST, IDC_MINUTES, IDC_MANUAL_START, IDC_APPLY, IDC_START_WHEN_READY, IDC_NOTIFY_NEWCOMERS,
                                           IDC_DELETE_ENTRY, IDC_RUN, IDC_RUN_ALL, IDC_RESTORE_ALL, IDC_EXIT, IDC_HELP_LINK,
                                           IDC_WEB_LINK}));
        SetForegroundWindow(window);
        Keys({VK_RETURN});
        Sleep(300);
        ASSERT_TRUE(IsWindow(window)) << "Enter in the list ended Pacewick";
        Keys({VK_TAB});
        EXPECT_TRUE(WaitUntil([&] { return Focused(window) == GetDlgItem(window, IDC_MINUTES); }, 3000)) << "Tab left the list elsewhere";
        Keys({VK_SHIFT, VK_TAB});
        Keys({VK_SHIFT, VK_TAB});
        EXPECT_TRUE(WaitUntil([&] { return Focused(window) == GetDlgItem(window, IDC_WEB_LINK); }, 3000));
        const HDC dc = CreateCompatibleDC(nullptr);
        for (int link : {IDC_HELP_LINK, IDC_WEB_LINK}) {  // still drawn as links
            SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(GetDlgItem(window, link)));
            EXPECT_EQ(GetTextColor(dc), CStaticLink::kUnvisitedColor) << link;
        }
        DeleteDC(dc);
        for (int button : {IDC_MANUAL_START, IDC_APPLY, IDC_START_WHEN_READY, IDC_NOTIFY_NEWCOMERS, IDC_DELETE_ENTRY, IDC_RUN, IDC_RUN_ALL,
                           IDC_RESTORE_ALL, IDC_EXIT})
            EXPECT_NE(Text(window, button).find('&'), std::string::npos) << Text(window, button) << " has no mnemonic";
        PostMessageA(window, CPacewickDlg::kTrayMessage, CPacewickDlg::kTrayIconId, WM_RBUTTONDOWN);
        HWND popup = WaitForVisible("#32768", nullptr);
        ASSERT_NE(popup, nullptr);
        for (const std::string& item : MenuItems(popup)) EXPECT_NE(item.find('&'), std::string::npos) << item;
        PostMessageA(window, WM_CANCELMODE, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }));

        // Hidden in the tray, the window opens at a second start.
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_FALSE(IsWindowVisible(window));
        ui::ActivateRunningInstance(window);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) && !IsIconic(window); }, 3000)) << "still hidden";
    });
}

// A newcomer listed before the selected rows: they stay selected and focused, by what they are.
TEST_F(PacewickDlgTest, KeepsTheSelectionWhenANewcomerIsListedBeforeIt) {
    for (const char* name : {"Alpha", "Beta", "Gamma"}) S::PutText(HKEY_CURRENT_USER, keys::kBackUp, name, "C:\\p.exe");
    engine_.manager.RebuildList();
    SetConfig(1, 60000);
    monitors_.Start();
    RunDialog(dialog_, [&](HWND window) {
        SelectRows(window, {"Gamma", "Beta"});
        const std::string before = Selection(window);
        S::PutText(HKEY_CURRENT_USER, keys::kRun, "Newcomer", "C:\\n.exe");
        ASSERT_TRUE(WaitUntil([&] { return Rows(window).size() == 4; }));
        EXPECT_EQ(Rows(window)[0][0], "Newcomer") << "the newcomer is not listed first";
        EXPECT_EQ(Selection(window), before);
    });
    monitors_.Stop();
}

// A shortcut's row shows the target and arguments it opens; one that names no path, the held file.
TEST_F(PacewickDlgTest, AShortcutsRowShowsWhatItOpens) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    wchar_t* roaming = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming)));
    std::wstring held = roaming;
    CoTaskMemFree(roaming);
    for (const wchar_t* below : {L"\\Quorvell Software", L"\\Pacewick", L"\\StartupBackUp"}) CreateDirectoryW((held += below).c_str(), nullptr);
    const std::wstring tool = held + L"\\Tool.lnk", broken = held + L"\\Broken.lnk";
    ASSERT_TRUE(SUCCEEDED(test_shortcuts::Make(tool, L"C:\\Tools\\tool.exe", L"--quiet --tray", L"C:\\Tools")));
    const HANDLE file = CreateFileW(broken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "L\0\0\0 not a shortcut", 20, &written, nullptr);
    CloseHandle(file);
    engine_.manager.RebuildList();
    ASSERT_TRUE(engine_.model.WaitForCompanies(10000));
    SetConfig(1, 60000);
    RunDialog(dialog_, [&](HWND window) {
        std::vector<std::string> commands;
        for (const Row& row : Rows(window)) commands.push_back(row[0] + " | " + row[1]);
        std::sort(commands.begin(), commands.end());
        EXPECT_EQ(commands, (std::vector<std::string>{"Broken.lnk | " + U8(broken), "Tool.lnk | C:\\Tools\\tool.exe --quiet --tray"}));
    });
    DeleteFileW(tool.c_str());
    DeleteFileW(broken.c_str());
    CoUninitialize();
}

// Levels, each at its turn, each command once: At log-on before the window (not again when its value comes back; one
// taken over later has missed its turn), When ready alone in the ready-start, the countdown the rest but the by-hand
// ones, which wait for Run All.
TEST_F(PacewickDlgTest, StartsEachLevelAtItsTurnOnceAndTheByHandOnesOnRunAll) {
    LaunchLog log;
    const std::string plan = U8(keys::kPlan) + "\\Run";
    S::Create(kUser, plan.c_str());
    const std::pair<const char*, DWORD> levels[] = {{"LogOn", 1}, {"Ready", 2}, {"Delay", 3}, {"Hand", 4}, {"AsSet", 0},
                                                    {"Twice", 1}, {"Later", 1}, {"Broken", 3}};
    for (const auto& [name, level] : levels) {
        S::Put(kUser, plan.c_str(), name, S::Dword(level));
        if (std::string(name) != "Later") S::PutText(kUser, keys::kBackUp, name, LaunchLog::Command(name));
    }
    S::PutText(kUser, keys::kBackUp, "Broken", "\"" + FixtureDir() + "\\no_such_program.exe\"");
    S::PutText(kMachine, keys::kBackUp, "Twice", LaunchLog::Command("Twice machine"));
    const auto started = [](std::vector<std::string> names) {
        for (std::string& name : names) name = LaunchLog::Command(name);
        std::sort(names.begin(), names.end());
        return names;
    };
    engine_.manager.RebuildList();
    SetConfig(0, 5000);
    std::mutex mutex;
    std::wstring tip;
    dialog_.SetNotifyIconFunction([&](DWORD message, NOTIFYICONDATAW* data) {
        const std::lock_guard<std::mutex> guard(mutex);
        if (message != NIM_DELETE) tip = data->szTip;
        return TRUE;
    });
    // This log-on's summary in the status and the tip alike; its time is the test program's age.
    const auto summed = [&](HWND window, const char* pattern) {
        const std::lock_guard<std::mutex> guard(mutex);
        const std::regex said(pattern);
        return std::regex_match(Text(window, IDC_STATUS), said) && std::regex_match(U8(tip), said);
    };
    dialog_.SetLoadFactory([] { return std::make_unique<OneSpareThenBusy>(); });
    RecordingSink events;
    dialog_.SetEventSink(&events);
    dialog_.StartAtLogOn();
    EXPECT_EQ(log.WaitFor(3), started({"LogOn", "Twice", "Twice machine"})) << "before the window";
    monitors_.Start();
    RunDialog(dialog_, [&](HWND window) {
        // A program puts its value back, another comes with a level: taken over, neither starts now.
        S::PutText(kUser, keys::kRun, "LogOn", LaunchLog::Command("LogOn"));
        S::PutText(kUser, keys::kRun, "Later", LaunchLog::Command("Later"));
        EXPECT_TRUE(WaitUntil([&] { return Text(window, IDC_ENTRY_COUNT) == "Total Entries: 8" && !InRun(kUser, "LogOn"); }));
        EXPECT_TRUE(WaitUntil([&] { return Text(window, IDC_STATUS) == "Starting when ready: 1 of 1"; }, 4000));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 15000)) << "the countdown never ended";
        EXPECT_EQ(log.WaitFor(6), started({"AsSet", "Delay", "LogOn", "Ready", "Twice", "Twice machine"}));
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_TRUE(summed(window, "5 started in \\d+:\\d\\d, 1 failed: Broken; 1 wait for you")) << Text(window, IDC_STATUS);
        // The same figures in the log-on's event: 8 held, 5 started, 1 failed.
        const std::vector<ReportedEvent> summary = events.Of(PACEWICK_EVENT_LOGON_SUMMARY);
        ASSERT_EQ(summary.size(), 1u);
        EXPECT_EQ(std::vector<std::wstring>(summary[0].strings.begin(), summary[0].strings.begin() + 3),
                  (std::vector<std::wstring>{L"8", L"5", L"1"}));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));
        EXPECT_FALSE(TrayMenuItemState(window, ID_TRAY_RUN_ALL) & MF_GRAYED);
        SendMessageA(window, WM_TIMER, CPacewickDlg::kLaunchTimer, 0);
        Command(window, IDC_RUN_ALL);
        EXPECT_EQ(log.WaitFor(8), started({"AsSet", "Delay", "Hand", "Later", "LogOn", "Ready", "Twice", "Twice machine"}));
        EXPECT_TRUE(WaitUntil([&] { return summed(window, "7 started in \\d+:\\d\\d, 1 failed: Broken"); }))
            << Text(window, IDC_STATUS);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_RUN_ALL)));
        Command(window, ID_TRAY_RUN_ALL);
    });
    monitors_.Stop();
    EXPECT_EQ(log.WaitFor(8).size(), 8u) << "started twice";
    EXPECT_EQ(events.Of(PACEWICK_EVENT_LOGON_SUMMARY).size(), 1u) << "one event per log-on, Run All's starts aside";
}

// Manual: only At log-on starts by itself, Run All the rest once; Delete entry drops the level once no list holds it.
TEST_F(PacewickDlgTest, InManualOnlyAtLogOnStartsAndDeleteEntryDropsTheLevel) {
    LaunchLog log;
    TestEngine engine(takeover::kUserScope, takeover::kEveryScope);  // the machine's lists are the keeper's
    const std::string plan = U8(keys::kPlan) + "\\Run";
    S::Create(kUser, plan.c_str());
    const std::tuple<HKEY, const char*, DWORD> held[] = {{kUser, "LogOn", 1},     {kUser, "Mine", 4},  {kMachine, "Theirs", 3},
                                                         {kMachine, "Shared", 2}, {kUser, "Shared", 2}, {kUser, "AsSet", 0}};
    for (const auto& [hive, name, level] : held) {
        S::Put(kUser, plan.c_str(), name, S::Dword(level));
        S::PutText(hive, keys::kBackUp, name, LaunchLog::Command(std::string(name) + (hive == kUser ? "" : " machine")));
    }
    engine.manager.RebuildList();
    SetConfig(1, 1000);
    std::vector<std::string> askedKeeper;
    CPacewickDlg::MachineLists lists;
    lists.deleteEntry = [&](HWND, const StartupEntry& entry, ListSet) {  // the keeper deletes Theirs, refuses Shared
        askedKeeper.push_back(U8(entry.name));
        if (entry.name != L"Theirs") return false;
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, keys::kBackUp, L"Theirs");
        return true;
    };
    CPacewickDlg dialog(nullptr, CPacewickDlg::Engine{engine.manager, engine.model, engine.launcher, config_}, nullptr);
    dialog.SetNotifyIconFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
    dialog.SetMachineLists(lists);
    dialog.StartAtLogOn();
    RunDialog(dialog, [&](HWND window) {
        EXPECT_EQ(Text(window, IDC_STATUS), "Start manually");
        EXPECT_EQ(log.WaitFor(1), std::vector<std::string>{LaunchLog::Command("LogOn")});
        for (const char* name : {"Mine", "Theirs", "Shared"}) {
            ASSERT_TRUE(Select(window, name));
            EXPECT_FALSE(Answered(window, IDC_DELETE_ENTRY, kDeleteQuestion, IDYES).empty()) << name;
        }
        std::vector<Row> left = Rows(window, 1);
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<Row>{{"AsSet"}, {"LogOn"}, {"Shared"}}));
        EXPECT_EQ(Text(window, IDC_STATUS), "Start manually");
        Command(window, IDC_RUN_ALL);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }));
    });
    EXPECT_EQ(askedKeeper, (std::vector<std::string>{"Theirs", "Shared"}));
    EXPECT_EQ(log.WaitFor(3), (std::vector<std::string>{LaunchLog::Command("AsSet"), LaunchLog::Command("LogOn"),
                                                        LaunchLog::Command("Shared machine")}));
    auto planned = S::ValueNames(kUser, plan.c_str());
    std::sort(planned.begin(), planned.end());
    EXPECT_EQ(planned, (std::vector<std::string>{"AsSet", "LogOn", "Shared"}));
}

}  // namespace

namespace {

// The tips a policy's greyed controls carry: each control's id and its text.
std::vector<std::pair<UINT_PTR, std::string>> PolicyTips(HWND window) {
    std::vector<std::pair<UINT_PTR, std::string>> tips;
    for (HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tip;
         tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
        if (GetWindow(tip, GW_OWNER) != window) continue;
        const LRESULT count = SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0);
        for (LRESULT at = 0; at < count; ++at) {
            wchar_t text[80] = {};
            TOOLINFOW tool = {};
            tool.cbSize = sizeof tool;
            tool.lpszText = text;
            if (SendMessageW(tip, TTM_ENUMTOOLSW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&tool)))
                tips.emplace_back(tool.uId, win::Utf8ForDisplay(text));
        }
    }
    std::sort(tips.begin(), tips.end());
    return tips;
}

}  // namespace

// What a policy sets the window shows greyed and says why; no click stores it in the account's
// Config, which keeps the account's own choice for when the policy goes.
TEST_F(PacewickDlgTest, GreysWhatAPolicySetsAndStoresNoPolicysValue) {
    SetConfig(1, CPacewickDlg::kMinute);
    S::Create(HKEY_LOCAL_MACHINE, keys::kPolicies);
    S::Create(HKEY_CURRENT_USER, keys::kPolicies);
    S::Put(HKEY_LOCAL_MACHINE, keys::kPolicies, "Manual", S::Dword(0));
    S::Put(HKEY_LOCAL_MACHINE, keys::kPolicies, "DelayMinutes", S::Dword(30));
    S::Put(HKEY_CURRENT_USER, keys::kPolicies, "DelayMinutes", S::Dword(2));  // the machine's wins
    S::Put(HKEY_CURRENT_USER, keys::kPolicies, "NotifyNewcomers", S::Dword(0));
    S::Put(HKEY_CURRENT_USER, keys::kPolicies, "StartWhenReady", S::Dword(7));  // out of range: the account's

    RunDialog(dialog_, [&](HWND window) {
        EXPECT_EQ(Text(window, IDC_STATUS), "Will start in 30 minute");
        for (int id : {IDC_MINUTES, IDC_MINUTES_SPIN, IDC_APPLY, IDC_MANUAL_START, IDC_NOTIFY_NEWCOMERS})
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, id))) << id;
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_START_WHEN_READY)));
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_NOTIFY_NEWCOMERS), BST_UNCHECKED);
        const std::string why = "Set by your administrator";
        std::vector<std::pair<UINT_PTR, std::string>> expected = {
            {IDC_MINUTES, why}, {IDC_MINUTES_SPIN, why}, {IDC_APPLY, why}, {IDC_MANUAL_START, why}, {IDC_NOTIFY_NEWCOMERS, why}};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(PolicyTips(window), expected);
        const auto tray = TrayMenu(window);  // Tell Me When a Program Adds Itself is the last item a policy sets
        ASSERT_EQ(tray.size(), 7u);
        EXPECT_EQ(tray[5], std::make_pair(UINT{ID_TRAY_SET_BY_ADMINISTRATOR}, why + " ~"));

        // Pressed all the same (the tray's items, Apply by its message): nothing a policy sets is stored.
        for (WORD command : {IDC_APPLY, ID_TRAY_DELAY_1_MIN, ID_TRAY_MANUAL, IDC_MANUAL_START, ID_TRAY_NOTIFY_NEWCOMERS})
            SendMessageW(window, WM_COMMAND, command, 0);
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_NOTIFY_NEWCOMERS), BST_UNCHECKED);
        // What no policy sets is the account's to choose, and stored with its own delay and mode.
        SendMessageW(window, WM_COMMAND, ID_TRAY_START_WHEN_READY, 0);
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_START_WHEN_READY), BST_CHECKED);
        EXPECT_TRUE(ConfigIs("StartWhenReady", 1));
        EXPECT_TRUE(ConfigIs("Manual", 1));
        EXPECT_TRUE(ConfigIs("TimeDelay", CPacewickDlg::kMinute));
        EXPECT_FALSE(S::Get(HKEY_CURRENT_USER, keys::kConfig, "NotifyNewcomers").has_value());
    });
}

// The tray menu says once, greyed, below the last item a policy sets, what its greyed items do not: who set them.
TEST_F(PacewickDlgTest, TrayMenuSaysOnceBelowTheLastItemAPolicySets) {
    SetConfig(1, CPacewickDlg::kMinute);
    S::Put(HKEY_CURRENT_USER, keys::kConfig, "NotifyNewcomers", S::Dword(0));
    std::vector<std::pair<UINT, std::string>> items = {
        {ID_TRAY_RUN_ALL, "&Run All Programs Now"},
        {ID_TRAY_OPEN, "&Open Pacewick"},
        {0xFFFFFFFF, "Set &Delay Time"},
        {ID_TRAY_START_WHEN_READY, "Start &When Ready"},
        {ID_TRAY_NOTIFY_NEWCOMERS, "&Tell Me When a Program Adds Itself"},
        {ID_TRAY_EXIT, "E&xit"}};
    RunDialog(dialog_, [&](HWND window) { EXPECT_EQ(TrayMenu(window), items) << "no policy sets anything"; });

    S::Create(HKEY_LOCAL_MACHINE, keys::kPolicies);
    S::Put(HKEY_LOCAL_MACHINE, keys::kPolicies, "DelayMinutes", S::Dword(30));
    const MarkedStringTable table;  // the line's text is the string table's
    CPacewickDlg delaySet(nullptr, CPacewickDlg::Engine{engine_.manager, engine_.model, engine_.launcher, config_}, nullptr);
    delaySet.SetNotifyIconFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
    items.insert(items.begin() + 3, {ID_TRAY_SET_BY_ADMINISTRATOR, MarkedStringTable::Marked("Set by your administrator") + " ~"});
    RunDialog(delaySet, [&](HWND window) {
        EXPECT_EQ(TrayMenu(window), items);
        for (UINT choice : {ID_TRAY_DELAY_1_MIN, ID_TRAY_DELAY_3_MIN, ID_TRAY_DELAY_5_MIN})
            EXPECT_TRUE(TrayMenuItemState(window, choice) & MF_GRAYED) << choice;
        EXPECT_FALSE(TrayMenuItemState(window, ID_TRAY_MANUAL) & MF_GRAYED);
        // Shown again at each switch: still one line, in its place.
        SendMessageW(window, WM_COMMAND, ID_TRAY_NOTIFY_NEWCOMERS, 0);
        items[5].second += " *";
        EXPECT_EQ(TrayMenu(window), items);
    });
}
