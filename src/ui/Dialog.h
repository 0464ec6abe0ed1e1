#pragma once
// A modal dialog built from a dialog template: the object behind the window
// gets its messages through one static dialog procedure. Notifications for
// subclassed controls (colouring, clicks) go to the control first.
#include <windows.h>

namespace ui {

class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;
    virtual ~CDialog();

    // Runs the dialog until EndDialog; its result, or -1 when the dialog could
    // not be created (template or window class missing).
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND Hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

protected:
    // WM_INITDIALOG; TRUE lets the dialog manager set the initial focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND not taken by a control. True when handled. The default ends
    // the dialog on IDOK and IDCANCEL (Enter and Escape).
    virtual bool OnCommand(WORD id, WORD notification, HWND control);
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // Every other message. Return true and set *result when handled; false
    // leaves the message to the dialog manager's default handling.
    virtual bool HandleMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                               LRESULT* /*result*/) {
        return false;
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Whether the message was handled, and its result in *result.
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    UINT templateId_;
    HWND parent_;
    HWND hwnd_ = nullptr;
};

}  // namespace ui
