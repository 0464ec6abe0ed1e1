#pragma once
#include <optional>
#include <string>

namespace win {

// UTF-16 to UTF-8 and back, whatever the process's code page. None when the
// text cannot be converted exactly (an unpaired surrogate, bytes that are not
// UTF-8), so that a caller never acts on a text that names something else.
std::optional<std::string> Utf8(const std::wstring& text);
std::optional<std::wstring> Wide(const std::string& text);

// For display only: unconvertible characters become U+FFFD.
std::string Utf8ForDisplay(const std::wstring& text);

// Control characters (C0, DEL, C1) and the marks that break or reorder a line
// as shown: the line and paragraph separators, the direction marks,
// embeddings, overrides and isolates. Another's text holding one could fake a
// line of what the program shows or writes.
inline bool BreaksLine(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// A text of the program's own that is ASCII (a key's path, a value's or a
// version key's name) in UTF-16: each character one unit, never a failure.
std::wstring WidenAscii(const char* text);

}  // namespace win
