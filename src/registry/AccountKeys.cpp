#include "registry/AccountKeys.h"

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"

namespace registry {

bool CreateAccountKeys() {
    bool made = true;
    for (const wchar_t* path : {keys::kConfig, keys::kBackUp}) {
        // Only made, never used here: the handle needs no more than the least right.
        Key key;
        made = key.Create(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE) == ERROR_SUCCESS && made;
    }
    return made;
}

}  // namespace registry
