#include "policy/PolicyLists.h"

#include <cstring>
#include <cwchar>
#include <optional>

#include "policy/PolicyTable.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "events/EventLog.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

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

std::vector<IgnoredListValue> IgnoredListValues() {
    std::vector<IgnoredListValue> found;
    for (const Policy& row : kPolicyTable) {
        if (row.kind != Kind::List) continue;
        for (const bool machine : {true, false}) {
            if (!(row.classes & (machine ? kMachineClass : kUserClass))) continue;
            const ProgramList list =
                ReadProgramList(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, keys::kPolicies, row.valueName);
            for (const std::wstring& name : list.ignored) {
                const std::wstring value = std::wstring(row.valueName) + L"\\" + name;
                PrintLine("Policy value %s of the %s ignored: it names no program\n",
                          win::Utf8ForDisplay(events::InsertionText(value)).c_str(),
                          machine ? "machine policy" : "user policy");
                found.push_back(IgnoredListValue{value, machine});
            }
        }
    }
    return found;
}

}  // namespace policy
