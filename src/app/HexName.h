#pragma once
#include <optional>
#include <string>

// A value name carried on a command line whatever it holds (spaces, quotes,
// characters no code page has): each UTF-16 unit as four upper-case hex digits.
namespace machinekeys {

std::wstring NameToHex(const std::wstring& name);
// None for text that is not such digits, or holds a NUL or nothing.
std::optional<std::wstring> NameFromHex(const wchar_t* hex);

}  // namespace machinekeys
