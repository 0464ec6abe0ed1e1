#include "ui/StaticLink.h"

#include <shellapi.h>

#include "win/ModulePath.h"

namespace {

HINSTANCE ShellOpen(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters) {
    return ShellExecuteW(nullptr, verb, file, parameters, nullptr, SW_SHOWNORMAL);
}

// Low-byte styles drawn as links: SS_LEFT, SS_CENTER, SS_RIGHT with nothing else.
constexpr LONG kLastTextStyle = SS_RIGHT;

}  // namespace

CStaticLink::CStaticLink() : shellOpen_(&ShellOpen) {
    // The cursors' ids, not texts.
    linkCursor_ = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    if (linkCursor_ == nullptr) linkCursor_ = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    cursorLoaded_ = linkCursor_ != nullptr;
}

CStaticLink::~CStaticLink() = default;

bool CStaticLink::OnReflected(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    if (message == WM_CTLCOLORSTATIC) {
        HBRUSH brush = OnCtlColor(reinterpret_cast<HDC>(wParam));
        if (brush == nullptr) return false;
        *result = reinterpret_cast<LRESULT>(brush);
        return true;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED) {
        OnClicked();
        *result = 0;
        return true;
    }
    return false;
}

LRESULT CStaticLink::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
        if (cursorLoaded_) SetCursor(linkCursor_);
        return 0;
    case WM_GETDLGCODE: {
        // Enter would press the dialog's default button: the link takes it, as
        // a button does. Tab and the arrows stay the dialog's.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        const LRESULT code = SubclassedControl::HandleMessage(message, wParam, lParam);
        return key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN ? code | DLGC_WANTMESSAGE : code;
    }
    case WM_KEYDOWN:
        // Once per press: a key held down repeats.
        if ((wParam == VK_RETURN || wParam == VK_SPACE) && !(lParam & (1 << 30))) OnClicked();
        return SubclassedControl::HandleMessage(message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        ShowFocusChange();
        return SubclassedControl::HandleMessage(message, wParam, lParam);
    case WM_PAINT: {
        const LRESULT painted = SubclassedControl::HandleMessage(message, wParam, lParam);
        if (GetFocus() == Hwnd()) DrawFocus();
        return painted;
    }
    default:
        return SubclassedControl::HandleMessage(message, wParam, lParam);
    }
}

// The text is drawn over its parent's background (a null brush): the parent
// paints that part again, so that no dotted frame stays behind.
void CStaticLink::ShowFocusChange() {
    RECT area = {};
    GetWindowRect(Hwnd(), &area);
    HWND parent = GetParent(Hwnd());
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CStaticLink::DrawFocus() {
    RECT client = {};
    GetClientRect(Hwnd(), &client);
    if (HDC dc = GetDC(Hwnd())) {
        DrawFocusRect(dc, &client);
        ReleaseDC(Hwnd(), dc);
    }
}

HBRUSH CStaticLink::OnCtlColor(HDC dc) {
    LONG style = GetWindowLongW(Hwnd(), GWL_STYLE);
    // Dialog statics do not report clicks on their own.
    if ((style & SS_NOTIFY) == 0) SetWindowLongW(Hwnd(), GWL_STYLE, style | SS_NOTIFY);
    if ((style & 0xFF) > kLastTextStyle) return nullptr;

    if (!underlineFont_) MakeUnderlineFont();
    if (underlineFont_) SelectObject(dc, underlineFont_.Get());
    SetTextColor(dc, visited_ ? visitedColor_ : unvisitedColor_);
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void CStaticLink::MakeUnderlineFont() {
    auto font = reinterpret_cast<HFONT>(SendMessageW(Hwnd(), WM_GETFONT, 0, 0));
    // A control without a font of its own draws with the system font.
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    LOGFONTW description{};
    if (GetObjectW(font, sizeof(description), &description) == 0) return;
    description.lfUnderline = TRUE;
    underlineFont_.Reset(CreateFontIndirectW(&description));
}

void CStaticLink::OnClicked() {
    if (link_.empty()) {
        int length = GetWindowTextLengthW(Hwnd());
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(Hwnd(), text.data(), length + 1)));
        link_ = text;
    }
    // The viewer by its full path: a bare name would be looked for in the working folder first.
    HINSTANCE opened = opening_ == Opening::InHelpViewer
                           ? shellOpen_(L"Open", win::InWindowsFolder(L"hh.exe").c_str(), link_.c_str())
                           : shellOpen_(L"open", link_.c_str(), nullptr);
    if (reinterpret_cast<UINT_PTR>(opened) <= 32) {
        MessageBeep(MB_OK);
        return;
    }
    visited_ = true;
    InvalidateRect(Hwnd(), nullptr, TRUE);
}
