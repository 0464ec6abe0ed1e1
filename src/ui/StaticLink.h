#pragma once
// A static text of a dialog turned into a hyperlink: underlined, blue until
// its first successful open and purple after it, a hand pointer over it; a
// click opens the link through the shell or the HTML help viewer, and so do
// Enter and Space once Tab has brought the focus to it (WS_TABSTOP), which
// a dotted frame then shows.
//
// The parent must hand WM_CTLCOLORSTATIC and WM_COMMAND to ui::ReflectToChild
// first; that is how the link colours itself and hears its clicks.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/Control.h"
#include "win/Scoped.h"

class CStaticLink : public ui::SubclassedControl {
public:
    // Opens a target as ShellExecuteW does (no owner, no working directory,
    // SW_SHOWNORMAL) and returns its result: 32 or less is a failure.
    using ShellOpener =
        std::function<HINSTANCE(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters)>;

    CStaticLink();
    ~CStaticLink() override;

    // The target; when left empty, the first click takes the window text.
    void SetLink(const std::wstring& link) { link_ = link; }
    // How the link opens: directly, or as a parameter of the HTML help viewer (hh.exe of the Windows folder).
    enum class Opening { Directly, InHelpViewer };
    void SetOpening(Opening opening) { opening_ = opening; }
    bool IsVisited() const { return visited_; }
    // Replaces the shell (tests); the default is ShellExecuteW.
    void SetShellOpener(ShellOpener opener) { shellOpen_ = std::move(opener); }

    static constexpr COLORREF kUnvisitedColor = RGB(0, 0, 255);
    static constexpr COLORREF kVisitedColor = RGB(128, 0, 128);

protected:
    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Colours the text; null when the control is no plain text static, so
    // that the parent colours it as usual.
    HBRUSH OnCtlColor(HDC dc);
    void OnClicked();
    void ShowFocusChange();
    void DrawFocus();
    void MakeUnderlineFont();

    COLORREF unvisitedColor_ = kUnvisitedColor;
    COLORREF visitedColor_ = kVisitedColor;
    bool visited_ = false;
    std::wstring link_;
    HCURSOR linkCursor_ = nullptr;  // shared system cursor: never destroyed
    bool cursorLoaded_ = false;
    Opening opening_ = Opening::Directly;
    win::UniqueFont underlineFont_;
    ShellOpener shellOpen_;
};
