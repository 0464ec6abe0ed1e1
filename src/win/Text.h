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

// A text of the program's own that is ASCII (a key's path, a value's or a
// version key's name) in UTF-16: each character one unit, never a failure.
std::wstring WidenAscii(const char* text);

}  // namespace win
