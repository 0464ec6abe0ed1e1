#include "registry/RegistryAccess.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "win/Text.h"

LONG RegistryAccess::OpenKey(HKEY parent, const char* path, HKEY* opened) const {
    if (!opened) return ERROR_BAD_ARGUMENTS;
    return RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, opened);
}

LONG RegistryAccess::ReadValue(HKEY key, const char* name, RegValueBlob* destination) const {
    if (!destination) return ERROR_BAD_ARGUMENTS;
    BYTE buffer[kReadLimit];
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, buffer, &size);
    if (status != ERROR_SUCCESS) return status;
    *destination = RegValueBlob(type, buffer, size);
    return ERROR_SUCCESS;
}

namespace {

LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    return RegQueryValueExA(key, name, nullptr, type, data, size);
}
LONG QueryValue(HKEY key, const std::wstring& name, DWORD* type, BYTE* data, DWORD* size) {
    return RegQueryValueExW(key, name.c_str(), nullptr, type, data, size);
}

template <typename Name>
LONG ReadWhole(HKEY key, const Name& name, RegValueBlob* destination) {
    if (!destination) return ERROR_BAD_ARGUMENTS;
    RegValueBlob read;
    read.bytes.resize(RegistryAccess::kReadLimit);
    for (;;) {
        DWORD size = read.count();
        const LONG status = QueryValue(key, name, &read.type, read.bytes.data(), &size);
        if (status == ERROR_MORE_DATA) {  // the value may grow between two queries: ask again
            read.bytes.resize(size > read.count() ? size : read.count() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        read.bytes.resize(size);
        *destination = std::move(read);
        return ERROR_SUCCESS;
    }
}

}  // namespace

LONG RegistryAccess::ReadWholeValue(HKEY key, const char* name, RegValueBlob* destination) const {
    return ReadWhole(key, name, destination);
}

LONG RegistryAccess::ReadWholeValue(HKEY key, const std::wstring& name, RegValueBlob* destination) const {
    return ReadWhole(key, name, destination);
}

LONG RegistryAccess::WriteValue(HKEY key, const std::wstring& name, const RegValueBlob* blob) const {
    if (!blob) return ERROR_BAD_ARGUMENTS;
    // Windows counts in a terminating NUL that the data leaves out when one
    // follows it in memory: a sentinel after the data keeps the copy exact.
    std::vector<BYTE> data(blob->bytes);
    data.insert(data.end(), {0xFF, 0xFF, 0xFF});
    return RegSetValueExW(key, name.c_str(), 0, blob->type, data.data(), blob->count());
}

LONG RegistryAccess::DeleteValue(HKEY key, const std::wstring& name) const {
    return RegDeleteValueW(key, name.c_str());
}

std::optional<std::string> CommandText(const RegValueBlob& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring text(value.count() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), value.data(), text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));  // up to the first NUL; an odd last byte is no character
    return win::Utf8(text);
}

LONG RegistryAccess::WriteValue(HKEY key, const char* name, const RegValueBlob* blob) const {
    if (!blob) return ERROR_BAD_ARGUMENTS;
    return RegSetValueExA(key, name, 0, blob->type, blob->data(), blob->count());
}

LONG RegistryAccess::DeleteValue(HKEY key, const char* name) const {
    return RegDeleteValueA(key, name);
}
