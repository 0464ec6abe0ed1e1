#pragma once
// Control subclassing and message reflection.
//
// A dialog's parent window receives the notifications that concern its
// controls (WM_CTLCOLORSTATIC, WM_COMMAND). A control that wants to colour or
// answer itself is subclassed through a SubclassedControl; the parent hands
// those messages to ReflectToChild first, which passes them to the control
// when it is one of ours.
#include <windows.h>

namespace ui {

// Private message a parent sends to a subclassed child: lParam points to a
// Reflection record. Only controls attached through SubclassedControl answer
// it; ReflectToChild never sends it to any other window.
constexpr UINT kReflectMessage = WM_APP + 0x3C00;

struct Reflection {
    UINT message;      // the parent's original message
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;    // what the parent should return, when handled
    bool handled;
};

// Parents forward these messages to the child they concern. Returns true and
// sets *result when the child is a subclassed control that handled it.
//   WM_CTLCOLORSTATIC: child = (HWND)lParam; *result is the brush (may be 0).
//   WM_COMMAND:        child = (HWND)lParam, notification in HIWORD(wParam).
// Other messages, a null child or a child that is not ours: false.
bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

// Subclasses an existing control (SetWindowSubclass) for the lifetime of the
// object or of the window, whichever ends first. Not copyable: the window
// holds a pointer to the object.
class SubclassedControl {
public:
    SubclassedControl() = default;
    SubclassedControl(const SubclassedControl&) = delete;
    SubclassedControl& operator=(const SubclassedControl&) = delete;
    virtual ~SubclassedControl();

    // Subclasses dialog item `id` of `parent`. False when there is no such
    // item, this object already holds a window, or subclassing fails.
    bool Attach(HWND parent, int id);
    // Removes the subclass; the window keeps living.
    void Detach();

    HWND Hwnd() const { return hwnd_; }

protected:
    // A message reflected by the parent. Return true and set *result when
    // handled; the default handles nothing.
    virtual bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Every message of the control; the default is DefSubclassProc.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR refData);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

}  // namespace ui
