#include "policy/PolicyLists.h"

#include <cstring>
#include <cwchar>
#include <optional>

#include "registry/RegKey.h"

namespace policy {
namespace {

// A REG_SZ's text up to its first NUL, read whole whatever size the registry gives.
std::optional<std::wstring> ProgramOf(const registry::Key& key, const std::wstring& name) {
    RegValueBlob value;
    if (key.ReadValue(name, &value) != ERROR_SUCCESS || value.type != REG_SZ) return std::nullopt;
    std::wstring text(value.count() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], value.data(), text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    if (text.empty() || text.size() > MAX_PATH) return std::nullopt;
    return text;
}

}  // namespace

ProgramList ReadProgramList(HKEY root, const wchar_t* policyKey, const wchar_t* listName) {
    ProgramList list;
    registry::Key key;
    const std::wstring path = std::wstring(policyKey) + L"\\" + listName;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS) return list;
    std::vector<std::wstring> names;
    if (key.ValueNames(&names) != ERROR_SUCCESS) return list;
    for (const std::wstring& name : names) {
        if (const std::optional<std::wstring> program = ProgramOf(key, name))
            list.programs.push_back(*program);
        else
            list.ignored.push_back(name);
    }
    return list;
}

}  // namespace policy
