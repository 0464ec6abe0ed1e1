// Hyperlink labels on real statics in a reflecting parent; the base owns its window WM_NCCREATE..WM_NCDESTROY.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Control.h"
#include "ui/StaticLink.h"
#include "ui/Window.h"
#include "win/ModulePath.h"

namespace {

class Parent : public ui::Window {
public:
    bool Make(const wchar_t* windowClass = L"PacewickLinkTestParent", DWORD style = WS_OVERLAPPEDWINDOW) {
        return CreateEx(0, windowClass, L"parent", style, 0, 0, 300, 200, nullptr);
    }
    std::vector<UINT> messages;
    int postNcDestroys = 0;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        LRESULT result = 0;
        return ui::ReflectToChild(message, wParam, lParam, &result) ? result
                                                                     : Window::HandleMessage(message, wParam, lParam);
    }
    void PostNcDestroy() override { postNcDestroys += Hwnd() == nullptr ? 1 : 100; }
};

TEST(StaticLink, OpensItsTargetDirectlyOrThroughTheHelpViewerAndStaysBlueUntilOpened) {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"PacewickLinkTestParent";
    ASSERT_TRUE(ui::Window::RegisterWindowClass(wc));
    Parent window;
    ASSERT_TRUE(window.Make());
    EXPECT_FALSE(window.Make()) << "one window per object";
    const HWND parent = window.Hwnd();
    const HDC dc = CreateCompatibleDC(nullptr);
    using Open = std::vector<std::wstring>;  // verb, file, parameters
    std::vector<Open> opened;
    INT_PTR answer = 42;  // the shell's: above 32 succeeds
    // A plain text static attached to `link`, whose opens are recorded.
    const auto add = [&](CStaticLink& link, int id, const char* text) {
        HWND child = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 120, 16, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        EXPECT_TRUE(link.Attach(parent, id));
        link.SetShellOpener([&](const wchar_t* verb, const wchar_t* file, const wchar_t* parameters) {
            opened.push_back({verb ? verb : L"(none)", file ? file : L"(none)", parameters ? parameters : L"(none)"});
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
    helpLink.SetLink(L"PacewickManual.chm");
    helpLink.SetOpening(CStaticLink::Opening::InHelpViewer);

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
    const Open viaViewer = {L"Open", win::InWindowsFolder(L"hh.exe"), L"PacewickManual.chm"};
    const Open direct = {L"open", L"www.example.invalid", L"(none)"};
    EXPECT_EQ(opened, (std::vector<Open>{viaViewer, viaViewer, viaViewer, viaViewer, direct, direct}));
    DeleteDC(dc);

    EXPECT_EQ(window.messages.front(), static_cast<UINT>(WM_NCCREATE));
    DestroyWindow(parent);
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(window.postNcDestroys, 1) << "called more than once or before the window was let go";
    auto* other = new Parent;
    ASSERT_TRUE(other->Make());
    const HWND hwnd = other->Hwnd();
    delete other;
    EXPECT_FALSE(IsWindow(hwnd));
}

// From the keyboard: Enter and Space open the link (Tab stays the dialog's), and the focus shows around it.
TEST(StaticLink, OpensByEnterOrSpaceAndShowsItsFocus) {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"PacewickLinkFocusParent";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    ASSERT_TRUE(ui::Window::RegisterWindowClass(wc));
    Parent window;
    ASSERT_TRUE(window.Make(L"PacewickLinkFocusParent", WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    HWND child = CreateWindowExA(0, "STATIC", "Help", WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_LEFT, 10, 10, 60, 16,
                                 window.Hwnd(), reinterpret_cast<HMENU>(1019), nullptr, nullptr);
    CStaticLink link;
    ASSERT_TRUE(link.Attach(window.Hwnd(), 1019));
    int opened = 0;
    link.SetShellOpener([&](const wchar_t*, const wchar_t*, const wchar_t*) { return ++opened, reinterpret_cast<HINSTANCE>(42); });
    const auto wants = [&](WPARAM key) {
        MSG message = {};
        message.hwnd = child;
        message.message = WM_KEYDOWN;
        message.wParam = key;
        return SendMessageA(child, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&message)) & (DLGC_WANTMESSAGE | DLGC_WANTTAB);
    };
    EXPECT_TRUE(wants(VK_RETURN) && !wants(VK_TAB));
    SendMessageA(child, WM_KEYDOWN, VK_RETURN, 1);
    SendMessageA(child, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(child, WM_KEYDOWN, VK_SPACE, 0x40000001);  // held down: no second open
    EXPECT_EQ(opened, 2);
    // The pixels of its top line, painted afresh.
    const auto edge = [&] {
        RedrawWindow(window.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        std::vector<COLORREF> pixels;
        const HDC dc = GetDC(child);
        for (int x = 0; x < 40; ++x) pixels.push_back(GetPixel(dc, x, 0));
        ReleaseDC(child, dc);
        return pixels;
    };
    const auto unfocused = edge();
    SetFocus(child);
    EXPECT_NE(edge(), unfocused) << "no focus shown";
    SetFocus(window.Hwnd());
    EXPECT_EQ(edge(), unfocused) << "the focus stays shown";
}

}  // namespace
