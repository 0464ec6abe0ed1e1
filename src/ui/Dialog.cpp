#include "ui/Dialog.h"

#include "ui/Control.h"

namespace ui {
namespace {

// Messages whose result a dialog procedure returns itself; every other result
// travels in DWLP_MSGRESULT (documented contract of DialogProc).
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

// Centres the window over its visible owner, or in the work area of its
// monitor, kept inside that work area.
void CentreWindow(HWND hwnd) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT area = work;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &area);

    RECT frame = {};
    GetWindowRect(hwnd, &frame);
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    LONG x = (area.left + area.right - width) / 2;
    LONG y = (area.top + area.bottom - height) / 2;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) {
    if (hwnd_) ::EndDialog(hwnd_, result);
}

bool CDialog::OnCommand(WORD id, WORD /*notification*/, HWND /*control*/) {
    if (id != IDOK && id != IDCANCEL) return false;
    EndDialog(id);
    return true;
}

bool CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_INITDIALOG: {
        RECT before = {};
        GetWindowRect(hwnd_, &before);
        *result = OnInitDialog();
        // A template that asks for no placement of its own (none of DS_CENTER,
        // DS_CENTERMOUSE, DS_ABSALIGN) and that initialisation did not move
        // opens centred, not in the screen's corner.
        RECT after = {};
        GetWindowRect(hwnd_, &after);
        const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
        if (SameRect(before, after) && !(style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN))) CentreWindow(hwnd_);
        return true;
    }
    case WM_CTLCOLORSTATIC:
        return ReflectToChild(message, wParam, lParam, result);
    case WM_COMMAND:
        if (ReflectToChild(message, wParam, lParam, result)) return true;
        *result = 0;
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER:
        *result = 0;
        OnTimer(static_cast<UINT_PTR>(wParam));
        return true;
    default:
        return HandleMessage(message, wParam, lParam, result);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT)

    if (message == WM_NCDESTROY) {
        // The object may outlive its window (it is usually a local of the
        // caller of DoModal): no message may reach it after this one.
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        LRESULT ignored = 0;
        self->HandleMessage(message, wParam, lParam, &ignored);
        self->hwnd_ = nullptr;
        return FALSE;
    }

    LRESULT result = 0;
    if (!self->Dispatch(message, wParam, lParam, &result)) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace ui
