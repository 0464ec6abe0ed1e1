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

class StaticLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool registered = [] {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = &ParentProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "PacewickLinkTestParent";
            return RegisterClassExA(&wc) != 0;
        }();
        ASSERT_TRUE(registered);
        parent_ = CreateWindowExA(0, "PacewickLinkTestParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        dc_ = CreateCompatibleDC(nullptr);
    }
    void TearDown() override {
        DeleteDC(dc_);
        DestroyWindow(parent_);
    }

    // A plain text static attached to `link`, whose opens are recorded and
    // answered with `answer` (above 32 succeeds).
    HWND Add(CStaticLink& link, int id, const char* text, const INT_PTR& answer) {
        HWND child = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 120, 16, parent_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        EXPECT_TRUE(link.Attach(parent_, id));
        link.SetShellOpener([this, &answer](const char* verb, const char* file, const char* parameters) {
            const auto text = [](const char* t) { return std::string(t ? t : "(none)"); };
            opened_.push_back({text(verb), text(file), text(parameters)});
            return reinterpret_cast<HINSTANCE>(answer);
        });
        return child;
    }
    COLORREF Colour(HWND child) {
        SetTextColor(dc_, RGB(1, 2, 3));
        SendMessageA(parent_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_), reinterpret_cast<LPARAM>(child));
        return GetTextColor(dc_);
    }
    void Click(HWND child) {
        SendMessageA(parent_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), STN_CLICKED), reinterpret_cast<LPARAM>(child));
    }

    HWND parent_ = nullptr;
    HDC dc_ = nullptr;
    std::vector<std::vector<std::string>> opened_;  // verb, file, parameters
};

TEST_F(StaticLinkTest, StaysBlueUntilASuccessfulOpenThenTurnsPurple) {
    CStaticLink link;
    INT_PTR answer = 42;
    HWND child = Add(link, 1019, "Help", answer);
    link.SetLink("target");
    auto press = [&] {
        SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    };
    press();
    EXPECT_TRUE(opened_.empty()) << "a static without SS_NOTIFY reports no click";
    EXPECT_EQ(Colour(child), RGB(0, 0, 255));
    EXPECT_TRUE(GetWindowLongA(child, GWL_STYLE) & SS_NOTIFY) << "not added at the first colouring";

    for (INT_PTR failure : {2, 32}) {
        answer = failure;
        press();
        EXPECT_FALSE(link.IsVisited()) << failure;
        EXPECT_EQ(Colour(child), RGB(0, 0, 255)) << failure;
    }
    ASSERT_EQ(opened_.size(), 2u) << "the click reached no opener";
    answer = 33;
    Click(child);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(Colour(child), RGB(128, 0, 128));
    answer = 0;
    Click(child);
    EXPECT_EQ(Colour(child), RGB(128, 0, 128)) << "a later failure unvisits the link";
}

TEST_F(StaticLinkTest, OpensItsTargetDirectlyOrThroughTheHelpViewer) {
    CStaticLink webLink, helpLink;
    const INT_PTR answer = 42;
    HWND web = Add(webLink, 1020, "www.example.invalid", answer);
    HWND help = Add(helpLink, 1019, "Help", answer);
    helpLink.SetLink("PacewickManual.chm");
    helpLink.SetHelpViewer(true);

    // No link: the window text is opened, and kept when the text changes.
    Click(web);
    SetWindowTextA(web, "changed later");
    Click(web);
    Click(help);
    using Open = std::vector<std::string>;
    EXPECT_EQ(opened_, (std::vector<Open>{{"open", "www.example.invalid", "(none)"},
                                          {"open", "www.example.invalid", "(none)"},
                                          {"Open", "hh.exe", "PacewickManual.chm"}}));
}

}  // namespace
