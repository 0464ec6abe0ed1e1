#include "registry/ValueWalk.h"

#include <cstring>
#include <cwchar>

#include "win/Text.h"

namespace registry {

ValueName ValueName::FromText(const std::string& text) {
    const auto wide = win::Wide(text);
    return ValueName{wide.value_or(std::wstring()), text, wide.has_value()};
}

ValueName ValueName::FromWide(const std::wstring& wide) {
    const auto text = win::Utf8(wide);
    return ValueName{wide, text ? *text : win::Utf8ForDisplay(wide), text.has_value()};
}

LONG ValueNamesOf(const KeyRef& key, std::vector<ValueName>* names) {
    if (!names) return ERROR_BAD_ARGUMENTS;
    std::vector<std::wstring> wide;
    const LONG status = key.ValueNames(&wide);
    if (status != ERROR_SUCCESS) return status;
    names->clear();
    for (const std::wstring& name : wide) names->push_back(ValueName::FromWide(name));
    return ERROR_SUCCESS;
}

}  // namespace registry

std::optional<std::wstring> StringOf(const RegValueBlob& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring text(value.count() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), value.data(), text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));  // up to the first NUL; an odd last byte is no character
    return text;
}

std::optional<std::string> CommandText(const RegValueBlob& value) {
    const std::optional<std::wstring> text = StringOf(value);
    if (!text) return std::nullopt;
    return win::Utf8(*text);
}
