#include "registry/RegKey.h"

#include <algorithm>

#include "win/LittleEndian.h"

namespace registry {
namespace {

constexpr DWORD kDwordSize = 4;
// The first read's size: a command of 511 characters and its NUL fit it.
constexpr DWORD kFirstReadSize = 512;
// The registry's longest names and their NUL.
constexpr DWORD kValueNameCapacity = 16384;
constexpr DWORD kSubkeyNameCapacity = 256;

void Observe(HKEY root, const std::wstring& path, REGSAM access) {
    if (const OpenObserver observe = KeyOpenObserver().load()) observe(root, path, access);
}

// Which of a key's names a walk takes.
enum class Named { Values, Subkeys };

// The names of the key's values or subkeys, by index up to the count asked first.
template <typename Enumerate>
LONG Names(HKEY key, Named named, DWORD capacity, std::vector<std::wstring>* names, Enumerate enumerate) {
    if (!key) return ERROR_INVALID_HANDLE;
    if (!names) return ERROR_BAD_ARGUMENTS;
    DWORD subkeys = 0, valueCount = 0;
    const LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &valueCount,
                                         nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::wstring> read;
    std::vector<wchar_t> buffer(capacity);
    const DWORD count = named == Named::Values ? valueCount : subkeys;
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = capacity;
        if (enumerate(key, index, buffer.data(), &length) == ERROR_SUCCESS) read.emplace_back(buffer.data(), length);
    }
    *names = std::move(read);
    return ERROR_SUCCESS;
}

}  // namespace

// Read into a buffer of its own size: a longer value is refused by the query
// itself, a shorter one would leave bytes unread.
LONG KeyRef::ReadExact(const std::wstring& name, DWORD type, BYTE* bytes, DWORD size) const {
    if (!key_) return ERROR_INVALID_HANDLE;
    if (!bytes) return ERROR_BAD_ARGUMENTS;
    std::vector<BYTE> read(size);
    DWORD readSize = size;
    DWORD readType = REG_NONE;
    const LONG status = RegQueryValueExW(key_, name.c_str(), nullptr, &readType, read.data(), &readSize);
    if (status == ERROR_MORE_DATA) return ERROR_INVALID_DATA;
    if (status != ERROR_SUCCESS) return status;
    if (readType != type || readSize != size) return ERROR_INVALID_DATA;
    std::copy(read.begin(), read.end(), bytes);
    return ERROR_SUCCESS;
}

LONG KeyRef::ReadDword(const std::wstring& name, DWORD* value) const {
    if (!value) return key_ ? ERROR_BAD_ARGUMENTS : ERROR_INVALID_HANDLE;
    BYTE bytes[kDwordSize];
    const LONG status = ReadExact(name, REG_DWORD, bytes, kDwordSize);
    if (status == ERROR_SUCCESS) *value = win::GetLittleEndian<DWORD>(bytes);
    return status;
}

LONG KeyRef::WriteDword(const std::wstring& name, DWORD value) const {
    BYTE bytes[kDwordSize];
    win::PutLittleEndian(value, bytes);
    return WriteValue(name, RegValueBlob(REG_DWORD, bytes, kDwordSize));
}

LONG KeyRef::ReadValue(const std::wstring& name, RegValueBlob* destination) const {
    if (!key_) return ERROR_INVALID_HANDLE;
    if (!destination) return ERROR_BAD_ARGUMENTS;
    RegValueBlob read;
    read.bytes.resize(kFirstReadSize);
    for (;;) {
        DWORD size = read.count();
        const LONG status = RegQueryValueExW(key_, name.c_str(), nullptr, &read.type, read.bytes.data(), &size);
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

LONG KeyRef::WriteValue(const std::wstring& name, const RegValueBlob& value) const {
    if (!key_) return ERROR_INVALID_HANDLE;
    // Windows counts in a terminating NUL that the data leaves out when one
    // follows it in memory: a sentinel after the data keeps the copy exact.
    std::vector<BYTE> data(value.bytes);
    data.insert(data.end(), {0xFF, 0xFF, 0xFF});
    return RegSetValueExW(key_, name.c_str(), 0, value.type, data.data(), value.count());
}

LONG KeyRef::DeleteValue(const std::wstring& name) const {
    return key_ ? RegDeleteValueW(key_, name.c_str()) : ERROR_INVALID_HANDLE;
}

LONG KeyRef::FindValue(const std::wstring& name) const {
    return key_ ? RegQueryValueExW(key_, name.c_str(), nullptr, nullptr, nullptr, nullptr) : ERROR_INVALID_HANDLE;
}

LONG KeyRef::ValueNames(std::vector<std::wstring>* names) const {
    return Names(key_, Named::Values, kValueNameCapacity, names, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

LONG KeyRef::SubkeyNames(std::vector<std::wstring>* names) const {
    return Names(key_, Named::Subkeys, kSubkeyNameCapacity, names, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

void Key::Hold(HKEY key) {
    owned_.Reset(key);
    key_ = owned_.Get();
}

LONG Key::Open(HKEY root, const std::wstring& path, REGSAM access) {
    Observe(root, path, access);
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExW(root, path.c_str(), 0, access, &opened);
    Hold(status == ERROR_SUCCESS ? opened : nullptr);
    return status;
}

LONG Key::OpenOwnNames(HKEY root, const std::wstring& path, REGSAM access) {
    Observe(root, path, access);
    Hold(nullptr);
    const REGSAM view = access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    win::UniqueKey walked;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const bool last = end == path.size();
        HKEY opened = nullptr;
        // The link itself is opened, never its target, and told by its value.
        const LONG status = RegOpenKeyExW(walked ? walked.Get() : root, path.substr(start, end - start).c_str(),
                                          REG_OPTION_OPEN_LINK, (last ? access : 0) | KEY_QUERY_VALUE | view, &opened);
        if (status != ERROR_SUCCESS) return status;
        walked.Reset(opened);
        DWORD type = REG_NONE;
        if (RegQueryValueExW(opened, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
            type == REG_LINK)
            return kLinkOnPath;
        start = end + 1;
    }
    Hold(walked.Release());
    return ERROR_SUCCESS;
}

LONG Key::Create(HKEY root, const std::wstring& path, REGSAM access) {
    Observe(root, path, access);
    // The handle is taken only on success: a failed call leaves its output undefined.
    HKEY made = nullptr;
    const LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                        &made, nullptr);
    Hold(status == ERROR_SUCCESS ? made : nullptr);
    return status;
}

LONG LoadHive(const std::wstring& name, const std::wstring& file) {
    return RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
}

LONG UnloadHive(const std::wstring& name) { return RegUnLoadKeyW(HKEY_USERS, name.c_str()); }

}  // namespace registry
