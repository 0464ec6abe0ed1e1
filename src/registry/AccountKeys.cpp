#include "registry/AccountKeys.h"

#include "registry/RegistryKeys.h"

namespace registry {

LONG CreateUserKey(const char* path, REGSAM access, win::UniqueKey* key) {
    if (!key) return ERROR_BAD_ARGUMENTS;
    // The handle is taken only on success: a failed call leaves its output undefined.
    HKEY made = nullptr;
    const LONG status =
        RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &made, nullptr);
    key->Reset(status == ERROR_SUCCESS ? made : nullptr);
    return status;
}

bool CreateAccountKeys() {
    bool made = true;
    for (const char* path : {keys::kConfig, keys::kBackUp}) {
        // Only made, never used here: the handle needs no more than the least right.
        win::UniqueKey key;
        made = CreateUserKey(path, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS && made;
    }
    return made;
}

}  // namespace registry
