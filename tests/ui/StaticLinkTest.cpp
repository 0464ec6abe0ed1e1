// Hyperlink labels on real static controls: the parent below reflects
// WM_CTLCOLORSTATIC and WM_COMMAND as the main window does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Control.h"
#include "ui/StaticLink.h"

namespace {

constexpr int kLinkId = 1019;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC || message == WM_COMMAND) {
        LRESULT result = 0;
        if (ui::ReflectToChild(message, wParam, lParam, &result)) return result;
        // What the parent does when the child leaves the colouring to it.
        if (message == WM_CTLCOLORSTATIC) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

struct Opened {
    std::string verb, file, parameters;
    bool hadParameters;
};

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
        parent_ = CreateWindowExA(0, "PacewickLinkTestParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0,
                                  300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        dc_ = CreateCompatibleDC(nullptr);
    }
    void TearDown() override {
        DeleteDC(dc_);
        DestroyWindow(parent_);
    }

    HWND AddStatic(const char* text, DWORD style, int id = kLinkId) {
        HWND child = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120,
                                     16, parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     GetModuleHandleA(nullptr), nullptr);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
        return child;
    }

    // Records every open and answers with `answer` (above 32 succeeds).
    void RecordOpens(CStaticLink& link, INT_PTR answer) {
        link.SetShellOpener([this, answer](const char* verb, const char* file, const char* params) {
            opened_.push_back({verb ? verb : "", file ? file : "", params ? params : "", params != nullptr});
            return reinterpret_cast<HINSTANCE>(answer);
        });
    }

    // Colours the control as the dialog does before drawing it.
    LRESULT Colour(HWND child) {
        return SendMessageA(parent_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_),
                            reinterpret_cast<LPARAM>(child));
    }
    void Click(HWND child, int id = kLinkId) {
        SendMessageA(parent_, WM_COMMAND, MAKEWPARAM(id, STN_CLICKED), reinterpret_cast<LPARAM>(child));
    }
    LONG Style(HWND child) { return GetWindowLongA(child, GWL_STYLE); }
    bool SelectedFontUnderlined() {
        LOGFONTA font{};
        GetObjectA(GetCurrentObject(dc_, OBJ_FONT), sizeof(font), &font);
        return font.lfUnderline != 0;
    }

    HWND parent_ = nullptr;
    HDC dc_ = nullptr;
    std::vector<Opened> opened_;
};

TEST_F(StaticLinkTest, ColoursTextBlueUntilASuccessfulOpenThenPurple) {
    HWND child = AddStatic("Help", SS_LEFT);
    CStaticLink link;
    ASSERT_TRUE(link.Attach(parent_, kLinkId));
    link.SetLink("http://example.invalid/");

    EXPECT_EQ(Colour(child), reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(GetTextColor(dc_), RGB(0, 0, 255));
    EXPECT_EQ(GetBkMode(dc_), TRANSPARENT);
    EXPECT_TRUE(SelectedFontUnderlined());

    // A failed open changes nothing.
    RecordOpens(link, 2);
    Click(child);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_FALSE(link.IsVisited());
    SetTextColor(dc_, RGB(1, 2, 3));
    Colour(child);
    EXPECT_EQ(GetTextColor(dc_), RGB(0, 0, 255));

    // 32 itself is still a failure.
    RecordOpens(link, 32);
    Click(child);
    EXPECT_FALSE(link.IsVisited());

    RecordOpens(link, 33);
    Click(child);
    EXPECT_TRUE(link.IsVisited());
    Colour(child);
    EXPECT_EQ(GetTextColor(dc_), RGB(128, 0, 128));

    // Visited stays visited, whatever later opens do.
    RecordOpens(link, 0);
    Click(child);
    Colour(child);
    EXPECT_EQ(GetTextColor(dc_), RGB(128, 0, 128));
}

TEST_F(StaticLinkTest, OpensItsTargetDirectlyOrThroughTheHelpViewer) {
    HWND web = AddStatic("www.example.invalid", SS_LEFT, 1020);
    HWND help = AddStatic("Help", SS_LEFT, 1019);
    CStaticLink webLink, helpLink;
    ASSERT_TRUE(webLink.Attach(parent_, 1020));
    ASSERT_TRUE(helpLink.Attach(parent_, 1019));
    helpLink.SetLink("PacewickManual.chm");
    helpLink.SetHelpViewer(true);
    RecordOpens(webLink, 42);
    RecordOpens(helpLink, 42);

    // No link text: the window text is opened and kept, even after the text changes.
    Click(web, 1020);
    SetWindowTextA(web, "changed later");
    Click(web, 1020);
    Click(help, 1019);

    ASSERT_EQ(opened_.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(opened_[i].verb, "open");
        EXPECT_EQ(opened_[i].file, "www.example.invalid");
        EXPECT_FALSE(opened_[i].hadParameters);
    }
    EXPECT_EQ(webLink.Link(), "www.example.invalid");
    EXPECT_EQ(opened_[2].verb, "Open");
    EXPECT_EQ(opened_[2].file, "hh.exe");
    EXPECT_EQ(opened_[2].parameters, "PacewickManual.chm");
}

TEST_F(StaticLinkTest, OnlyPlainTextStaticsAreDrawnAsLinksButAllGainNotify) {
    struct Case {
        DWORD style;
        bool drawnAsLink;
    };
    const Case cases[] = {{SS_LEFT, true},          {SS_CENTER, true},     {SS_RIGHT, true},
                          {SS_LEFT | SS_NOPREFIX, false}, {SS_SIMPLE, false}, {SS_BLACKRECT, false},
                          {SS_ETCHEDFRAME, false}, {SS_LEFTNOWORDWRAP, false}};
    int id = 2000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        HWND child = AddStatic("label", c.style, ++id);
        CStaticLink link;
        ASSERT_TRUE(link.Attach(parent_, id));
        ASSERT_EQ(Style(child) & SS_NOTIFY, 0);
        SetTextColor(dc_, RGB(9, 9, 9));
        const LRESULT brush = Colour(child);
        EXPECT_NE(Style(child) & SS_NOTIFY, 0);
        if (c.drawnAsLink) {
            EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
            EXPECT_EQ(GetTextColor(dc_), RGB(0, 0, 255));
        } else {
            // The parent's own colouring, untouched by the link.
            EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE)));
            EXPECT_EQ(GetTextColor(dc_), RGB(9, 9, 9));
        }
    }
}

TEST_F(StaticLinkTest, MouseClicksAreReportedOnceTheLinkHasBeenColoured) {
    HWND child = AddStatic("Help", SS_LEFT);
    CStaticLink link;
    ASSERT_TRUE(link.Attach(parent_, kLinkId));
    link.SetLink("target");
    RecordOpens(link, 42);
    auto press = [&] {
        SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    };

    press();
    EXPECT_TRUE(opened_.empty()) << "a static without SS_NOTIFY reports no click";
    Colour(child);
    press();
    EXPECT_FALSE(opened_.empty()) << "the first colouring added SS_NOTIFY";
    EXPECT_TRUE(link.IsVisited());
}

TEST_F(StaticLinkTest, UnderlineFontFollowsTheControlFontOrTheSystemFont) {
    HWND withFont = AddStatic("a", SS_LEFT, 3001);
    HWND withoutFont = CreateWindowExA(0, "STATIC", "b", WS_CHILD | SS_LEFT, 0, 40, 50, 16, parent_,
                                       reinterpret_cast<HMENU>(3002), GetModuleHandleA(nullptr), nullptr);
    ASSERT_EQ(SendMessageA(withoutFont, WM_GETFONT, 0, 0), 0);
    CStaticLink first, second;
    ASSERT_TRUE(first.Attach(parent_, 3001));
    ASSERT_TRUE(second.Attach(parent_, 3002));

    LOGFONTA expected{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(expected), &expected);
    Colour(withFont);
    LOGFONTA made{};
    HGDIOBJ font = GetCurrentObject(dc_, OBJ_FONT);
    GetObjectA(font, sizeof(made), &made);
    EXPECT_TRUE(made.lfUnderline);
    EXPECT_STREQ(made.lfFaceName, expected.lfFaceName);
    EXPECT_EQ(made.lfHeight, expected.lfHeight);
    // Made once and reused.
    Colour(withFont);
    EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), font);

    Colour(withoutFont);
    EXPECT_TRUE(SelectedFontUnderlined());
}

TEST_F(StaticLinkTest, RealShellFailureLeavesTheLinkUnvisited) {
    HWND child = AddStatic("Z:\\pacewick-no-such-folder\\no-such-file.pacewick-none", SS_LEFT);
    CStaticLink link;
    ASSERT_TRUE(link.Attach(parent_, kLinkId));
    Click(child);
    EXPECT_FALSE(link.IsVisited());
    Colour(child);
    EXPECT_EQ(GetTextColor(dc_), RGB(0, 0, 255));
}

TEST_F(StaticLinkTest, ReflectionReachesOnlyAttachedLiveControls) {
    HWND plain = AddStatic("plain", SS_LEFT, 4001);
    HWND linked = AddStatic("linked", SS_LEFT, 4002);
    LRESULT result = 123;
    // Not ours, wrong message, no child: the parent colours as usual.
    EXPECT_FALSE(ui::ReflectToChild(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_),
                                    reinterpret_cast<LPARAM>(plain), &result));
    EXPECT_FALSE(ui::ReflectToChild(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_), 0, &result));
    EXPECT_EQ(result, 123);

    {
        CStaticLink link;
        EXPECT_FALSE(link.Attach(parent_, 4999)) << "no such item";
        ASSERT_TRUE(link.Attach(parent_, 4002));
        EXPECT_FALSE(link.Attach(parent_, 4001)) << "one window per link";
        CStaticLink second;
        EXPECT_FALSE(second.Attach(parent_, 4002)) << "one link per window";
        EXPECT_FALSE(ui::ReflectToChild(WM_MOUSEMOVE, 0, reinterpret_cast<LPARAM>(linked), &result));
        EXPECT_TRUE(ui::ReflectToChild(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_),
                                       reinterpret_cast<LPARAM>(linked), &result));
        EXPECT_EQ(result, reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
    }
    // The link is gone, its window stays and is no longer reflected to.
    EXPECT_TRUE(IsWindow(linked));
    EXPECT_FALSE(ui::ReflectToChild(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_),
                                    reinterpret_cast<LPARAM>(linked), &result));

    // The window goes first: the link lets go of it and outlives it safely.
    CStaticLink link;
    ASSERT_TRUE(link.Attach(parent_, 4001));
    DestroyWindow(plain);
    EXPECT_EQ(link.Hwnd(), nullptr);
}

}  // namespace
