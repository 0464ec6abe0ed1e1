#include "ui/ResourceText.h"

#include <windows.h>

namespace ui {

std::wstring ResourceText(unsigned id) {
    // Asked for no copy, LoadString hands the resource's own text, which is not NUL-terminated.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

}  // namespace ui
