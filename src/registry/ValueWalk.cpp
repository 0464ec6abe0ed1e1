#include "registry/ValueWalk.h"

#include <vector>

#include "win/Diagnostics.h"
#include "win/Text.h"

namespace registry {
namespace {

constexpr DWORD kValueNameCapacity = 16383;  // the registry's longest value name and its NUL
constexpr DWORD kSubkeyNameCapacity = 255;

void ListSubkeys(HKEY key, DWORD count) {
    if (count == 0) return;
    PrintLine("\nNumber of subkeys: %lu\n", static_cast<unsigned long>(count));
    for (DWORD index = 0; index < count; ++index) {
        char name[kSubkeyNameCapacity];
        DWORD length = kSubkeyNameCapacity;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            PrintLine("(%lu) %s\n", static_cast<unsigned long>(index + 1), name);
    }
}

}  // namespace

ValueName ValueName::FromText(const std::string& text) {
    const auto wide = win::Wide(text);
    return ValueName{wide.value_or(std::wstring()), text, wide.has_value()};
}

bool WalkValueNames(HKEY key, const std::function<void(const ValueName& name)>& visit) {
    char className[MAX_PATH] = {};
    DWORD classLength = MAX_PATH;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, className, &classLength, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;  // nothing can be known of the key, so nothing is done with it
    ListSubkeys(key, subkeys);
    if (values == 0) return true;
    PrintLine("\nNumber of values: %lu\n", static_cast<unsigned long>(values));

    std::vector<wchar_t> buffer(kValueNameCapacity);
    for (DWORD index = 0; index < values; ++index) {
        DWORD length = kValueNameCapacity;
        if (RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        ValueName name;
        name.wide.assign(buffer.data(), length);
        const auto text = win::Utf8(name.wide);
        name.exact = text.has_value();
        name.text = text ? *text : win::Utf8ForDisplay(name.wide);
        PrintLine("(%lu) %s (null)\n", static_cast<unsigned long>(index + 1), name.text.c_str());
        visit(name);
    }
    return true;
}

}  // namespace registry
