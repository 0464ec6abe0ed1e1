// Hyperlink labels on real static controls: the parent below reflects
// WM_CTLCOLORSTATIC and WM_COMMAND as the main window does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Control.h"
#include "ui/StaticLink.h"

namespace {

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if ((message == WM_CTLCOLORSTATIC || message == WM_COMMAND) && ui::ReflectToChild(message, wParam, lParam, &result))
        return result;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST(StaticLink, OpensItsTargetDirectlyOrThroughTheHelpViewerAndStaysBlueUntilOpened) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &ParentProc;
    wc.lpszClassName = "PacewickLinkTestParent";
    ASSERT_TRUE(RegisterClassExA(&wc));
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    const HDC dc = CreateCompatibleDC(nullptr);
    using Open = std::vector<std::string>;  // verb, file, parameters
    std::vector<Open> opened;
    INT_PTR answer = 42;  // the shell's: above 32 succeeds
    // A plain text static attached to `link`, whose opens are recorded.
    const auto add = [&](CStaticLink& link, int id, const char* text) {
        HWND child = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 120, 16, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        EXPECT_TRUE(link.Attach(parent, id));
        link.SetShellOpener([&](const char* verb, const char* file, const char* parameters) {
            opened.push_back({verb ? verb : "(none)", file ? file : "(none)", parameters ? parameters : "(none)"});
            return reinterpret_cast<HINSTANCE>(answer);
        });
        return child;
    };
    const auto colour = [&](HWND child) {
        SetTextColor(dc, RGB(1, 2, 3));
        SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
        return GetTextColor(dc);
    };
    const auto press = [](HWND child) {  // the mouse, which the static reports only with SS_NOTIFY
        SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    };
    const auto click = [&](HWND child) {
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), STN_CLICKED), reinterpret_cast<LPARAM>(child));
    };
    CStaticLink webLink, helpLink;
    HWND web = add(webLink, 1020, "www.example.invalid");
    HWND help = add(helpLink, 1019, "Help");
    helpLink.SetLink("PacewickManual.chm");
    helpLink.SetHelpViewer(true);

    EXPECT_EQ(colour(help), RGB(0, 0, 255));
    EXPECT_TRUE(GetWindowLongA(help, GWL_STYLE) & SS_NOTIFY) << "not added at the first colouring";
    for (INT_PTR failure : {2, 32}) {
        answer = failure;
        press(help);
        EXPECT_FALSE(helpLink.IsVisited()) << failure;
        EXPECT_EQ(colour(help), RGB(0, 0, 255)) << failure;
    }
    answer = 33;
    click(help);
    EXPECT_EQ(colour(help), RGB(128, 0, 128));
    answer = 0;
    click(help);
    EXPECT_EQ(colour(help), RGB(128, 0, 128)) << "a later failure unvisits the link";
    // No link: the window text is opened, and kept when the text changes.
    click(web);
    SetWindowTextA(web, "changed later");
    click(web);
    const Open viaViewer = {"Open", "hh.exe", "PacewickManual.chm"}, direct = {"open", "www.example.invalid", "(none)"};
    EXPECT_EQ(opened, (std::vector<Open>{viaViewer, viaViewer, viaViewer, viaViewer, direct, direct}));
    DeleteDC(dc);
    DestroyWindow(parent);
}

}  // namespace
