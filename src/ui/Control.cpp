#include "ui/Control.h"

#include <commctrl.h>

namespace ui {
namespace {

// One subclass of ours per window; the id tells our subclass apart from any
// other the window may carry.
constexpr UINT_PTR kSubclassId = 0x5057;
// Marks a window subclassed by us (GetWindowSubclass is not exported by name
// everywhere, a window property is).
constexpr const wchar_t* kControlProperty = L"Pacewick.SubclassedControl";

bool IsReflected(UINT message) {
    return message == WM_CTLCOLORSTATIC || message == WM_COMMAND;
}

}  // namespace

bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!IsReflected(message)) return false;
    HWND child = reinterpret_cast<HWND>(lParam);
    if (child == nullptr || !IsWindow(child)) return false;
    // Only our own controls get the private message: any other window might
    // give the same number a meaning of its own.
    if (GetPropW(child, kControlProperty) == nullptr) return false;
    Reflection reflection{message, wParam, lParam, 0, false};
    SendMessageW(child, kReflectMessage, 0, reinterpret_cast<LPARAM>(&reflection));
    if (!reflection.handled) return false;
    if (result != nullptr) *result = reflection.result;
    return true;
}

SubclassedControl::~SubclassedControl() { Detach(); }

bool SubclassedControl::Attach(HWND parent, int id) {
    HWND hwnd = parent ? GetDlgItem(parent, id) : nullptr;
    if (hwnd == nullptr || hwnd_ != nullptr || !IsWindow(hwnd)) return false;
    if (GetPropW(hwnd, kControlProperty) != nullptr) return false;
    if (!SetPropW(hwnd, kControlProperty, this)) return false;
    if (!SetWindowSubclass(hwnd, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        RemovePropW(hwnd, kControlProperty);
        return false;
    }
    hwnd_ = hwnd;
    return true;
}

void SubclassedControl::Detach() {
    if (hwnd_ == nullptr) return;
    RemoveWindowSubclass(hwnd_, &SubclassProc, kSubclassId);
    RemovePropW(hwnd_, kControlProperty);
    hwnd_ = nullptr;
}

bool SubclassedControl::OnReflected(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

LRESULT SubclassedControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT SubclassedControl::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kReflectMessage) {
        auto* reflection = reinterpret_cast<Reflection*>(lParam);
        if (reflection != nullptr) {
            reflection->handled = OnReflected(reflection->message, reflection->wParam,
                                              reflection->lParam, &reflection->result);
        }
        return 0;
    }
    if (message == WM_NCDESTROY) {
        // The window goes before its owner object: unhook first.
        HWND hwnd = hwnd_;
        Detach();
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK SubclassedControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam, UINT_PTR, DWORD_PTR refData) {
    auto* self = reinterpret_cast<SubclassedControl*>(refData);
    if (self == nullptr || self->hwnd_ != hwnd) return DefSubclassProc(hwnd, message, wParam, lParam);
    return self->Dispatch(message, wParam, lParam);
}

}  // namespace ui
