#include "ui/ResourceText.h"

#include <windows.h>

namespace ui {

std::wstring ResourceText(unsigned id) {
    // Asked for no copy, LoadString hands the resource's own text, which is not NUL-terminated.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

std::wstring ResourceText(unsigned id, std::initializer_list<std::wstring> fills) {
    const std::wstring format = ResourceText(id);
    std::wstring text;
    text.reserve(format.size());
    for (std::size_t at = 0; at < format.size(); ++at) {
        const wchar_t next = at + 1 < format.size() ? format[at + 1] : L'\0';
        const std::size_t fill = static_cast<std::size_t>(next - L'1');
        if (format[at] == L'%' && next >= L'1' && next <= L'9' && fill < fills.size()) {
            text += fills.begin()[fill];
            ++at;
        } else {
            text += format[at];
        }
    }
    return text;
}

}  // namespace ui
