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

}  // namespace win
