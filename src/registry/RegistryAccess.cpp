#include "registry/RegistryAccess.h"

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

LONG RegistryAccess::ReadWholeValue(HKEY key, const char* name, RegValueBlob* destination) const {
    if (!destination) return ERROR_BAD_ARGUMENTS;
    RegValueBlob read;
    read.bytes.resize(kReadLimit);
    for (;;) {
        DWORD size = read.count();
        const LONG status = RegQueryValueExA(key, name, nullptr, &read.type, read.bytes.data(), &size);
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

LONG RegistryAccess::WriteValue(HKEY key, const char* name, const RegValueBlob* blob) const {
    if (!blob) return ERROR_BAD_ARGUMENTS;
    return RegSetValueExA(key, name, 0, blob->type, blob->data(), blob->count());
}

LONG RegistryAccess::DeleteValue(HKEY key, const char* name) const {
    return RegDeleteValueA(key, name);
}
