// What the program's resources and window class give the live main window:
// the controls in their order with ids, classes, texts, tab stops and places,
// the frame, the class fields a second start relies on, the version texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"
#include "sources/FileVersionInfo.h"

using namespace uitest;

namespace {

struct Expected {
    int id;
    const char* className;
    const char* text;
    bool tabStop;
    RECT dialogUnits;  // left, top, width, height
};

// Template order, which is also the tab order.
const Expected kControls[] = {
    {IDC_RUN_ALL, "Button", "Run All", true, {313, 129, 47, 16}},
    {-1, "Static", "Set Delay Load Timer :", false, {14, 136, 77, 13}},
    {IDC_EXIT, "Button", "Exit", true, {313, 157, 47, 16}},
    {IDC_MINUTES, "Edit", "1", true, {}},  // the up-down control places its buddy
    {IDC_MINUTES_SPIN, "msctls_updown32", "", false, {}},
    {-1, "Static", "List of Startup Programs:", false, {11, 9, 81, 8}},
    {-1, "Static", "minute(s)", false, {130, 136, 36, 8}},
    {IDC_RUN, "Button", "Run", true, {261, 129, 47, 16}},
    {IDC_APPLY, "Button", "Apply", true, {116, 152, 50, 14}},
    {IDC_ENTRY_LIST, "SysListView32", "", true, {6, 22, 354, 94}},
    {IDC_ELAPSED, "Edit", "", true, {258, 9, 56, 12}},
    {IDC_STATUS, "Edit", "Start manually", true, {180, 9, 77, 12}},
    {IDC_HELP_LINK, "Static", "Help", false, {345, 7, 15, 8}},
    {IDC_ENTRY_COUNT, "Edit", "Total Entries: 0", true, {286, 116, 74, 12}},
    {-1, "Static", "Current Status:", false, {128, 9, 51, 8}},
    {IDC_WEB_LINK, "Static", PACEWICK_WEB_ADDRESS, false, {296, 177, 62, 8}},
    {IDC_MANUAL_START, "Button", "Manual Start", true, {62, 152, 50, 14}},
    {-1, "Button", "Time Control", false, {6, 124, 167, 47}},
    {IDC_DELETE_ENTRY, "Button", "Delete entry", true, {205, 130, 50, 14}},
    {IDC_RESTORE_ALL, "Button", "Restore All", true, {259, 159, 50, 14}},
};

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

RECT ChildRect(HWND dialog, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class MainWindowResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ui::RegisterMainWindowClass(GetModuleHandleA(nullptr)));
        CStartupManager* manager = CStartupManager::GetInstance();
        manager->SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
        manager->List().Clear();
        RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kConfig, "Manual", RegistrySandbox::Dword(1));
        dialog_.SetNotifyIconFunction(tray_.Function());
    }
    RegistrySandbox sandbox_;
    TrayShell tray_;
    CPacewickDlg dialog_;
};

TEST_F(MainWindowResourcesTest, ControlsComeInTemplateOrderWithTheirIdsTextsAndPlaces) {
    RunDialog(dialog_, [&](HWND window) {
        std::vector<HWND> children;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        ASSERT_EQ(children.size(), std::size(kControls));
        for (std::size_t i = 0; i < children.size(); ++i) {
            const Expected& want = kControls[i];
            HWND child = children[i];
            SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\"");
            EXPECT_EQ(GetDlgCtrlID(child), want.id);
            EXPECT_EQ(lstrcmpiA(ClassOf(child).c_str(), want.className), 0) << ClassOf(child);
            char text[128] = {};
            GetWindowTextA(child, text, sizeof text);
            EXPECT_STREQ(text, want.text);
            const LONG style = GetWindowLongA(child, GWL_STYLE);
            EXPECT_EQ((style & WS_TABSTOP) != 0, want.tabStop);
            EXPECT_TRUE(style & WS_VISIBLE);
            if (want.dialogUnits.right == 0) continue;
            RECT expected = want.dialogUnits;  // the dialog manager maps each of the four alone
            MapDialogRect(window, &expected);
            const RECT actual = ChildRect(window, child);
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.top, expected.top);
            EXPECT_EQ(actual.right - actual.left, expected.right);
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
        // None is the default button: Enter is IDOK, the dialog's own ending.
        for (HWND child : children) {
            EXPECT_NE(GetWindowLongA(child, GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);
        }
        const LONG listStyle = GetWindowLongA(List(window), GWL_STYLE);
        EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
        EXPECT_TRUE(listStyle & LVS_SINGLESEL);
        EXPECT_FALSE(listStyle & (LVS_SORTASCENDING | LVS_SORTDESCENDING));  // row i is entry i
        EXPECT_EQ(SendMessageA(List(window), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
        // The up-down control offers 1 to 30 minutes and starts at 1.
        int low = 0, high = 0;
        SendMessageA(GetDlgItem(window, IDC_MINUTES_SPIN), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                     reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(low, 1);
        EXPECT_EQ(high, 30);
    });
}

TEST_F(MainWindowResourcesTest, FrameIsCentredCaptionedAndOnTheTaskbar) {
    RunDialog(dialog_, [&](HWND window) {
        char caption[64] = {};
        GetWindowTextA(window, caption, sizeof caption);
        EXPECT_STREQ(caption, "Quorvell Pacewick");
        EXPECT_EQ(ClassOf(window), "PACEWICK_SINGLE_INSTANCE_APP");
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        for (LONG bit : {LONG(WS_POPUP), LONG(WS_CAPTION), LONG(WS_SYSMENU), LONG(WS_MINIMIZEBOX), LONG(WS_MAXIMIZEBOX)})
            EXPECT_EQ(style & bit, bit) << std::hex << bit;
        EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        RECT size = {0, 0, 367, 190};
        MapDialogRect(window, &size);
        RECT client = {};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);

        RECT work = {}, frame = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(window, &frame);
        EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1);
        EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1);
        EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_SMALL, 0), 0);
    });
}

TEST(MainWindowClassTest, ClassIsADialogClassWithTheProgramsIconAndRegistersOnce) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(ui::RegisterMainWindowClass(instance));
    EXPECT_TRUE(ui::RegisterMainWindowClass(instance)) << "a second registration must not count as failure";
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(instance, "PACEWICK_SINGLE_INSTANCE_APP", &wc));
    EXPECT_EQ(wc.style, 0x2808u);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, DLGWINDOWEXTRA);
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hIcon, LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME)));
    EXPECT_NE(wc.hIcon, nullptr);
    EXPECT_NE(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
}

TEST(ProgramResourcesTest, VersionSplashAndMenuAreThere) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    CFileVersionInfo version;
    ASSERT_EQ(version.ReadVersionInfo(path), 1);
    EXPECT_EQ(version.GetCompanyName(), "Quorvell Software");
    EXPECT_EQ(version.GetText(6), "Pacewick");  // ProductName
    EXPECT_EQ(version.GetFixedInfo().dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(version.GetFixedInfo().dwFileVersionLS, 0u);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HBITMAP splash = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_SPLASH));
    ASSERT_NE(splash, nullptr);
    BITMAP info = {};
    GetObjectA(splash, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 500);
    EXPECT_EQ(info.bmHeight, 300);
    DeleteObject(splash);

    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    char label[32] = {};
    GetMenuStringA(menu, 0, label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "Menu");
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    DestroyMenu(menu);
}

}  // namespace
