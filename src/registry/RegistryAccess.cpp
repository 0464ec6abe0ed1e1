#include "registry/RegistryAccess.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "win/Text.h"

namespace {

// The first read's size: a command of 511 characters and its NUL fit it.
constexpr DWORD kFirstReadSize = 512;

}  // namespace

LONG RegistryAccess::ReadWholeValue(HKEY key, const std::wstring& name, RegValueBlob* destination) const {
    if (!destination) return ERROR_BAD_ARGUMENTS;
    RegValueBlob read;
    read.bytes.resize(kFirstReadSize);
    for (;;) {
        DWORD size = read.count();
        const LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &read.type, read.bytes.data(), &size);
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
