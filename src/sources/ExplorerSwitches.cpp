#include "sources/ExplorerSwitches.h"

#include "registry/RegKey.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"

StartupSwitches::StartupSwitches(HKEY root, const char* approvedPath) {
    approved_.Open(root, approvedPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
}

bool StartupSwitches::Off(const std::wstring& name) const {
    RegValueBlob marker;
    return approved_ && RegistryAccess().ReadWholeValue(approved_.Get(), name, &marker) == ERROR_SUCCESS &&
           marker.count() > 0 && (marker.bytes[0] & 1) != 0;
}

bool TurnedOffByPolicy(const char* policyName) {
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        registry::Key policies;
        RegValueBlob value;
        if (policies.Open(hive, keys::kExplorerPolicies, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
            RegistryAccess().ReadWholeValue(policies.Get(), policyName, &value) == ERROR_SUCCESS &&
            value.type == REG_DWORD && value.count() == 4 && value.bytes[0] == 1 && value.bytes[1] == 0 &&
            value.bytes[2] == 0 && value.bytes[3] == 0)
            return true;
    }
    return false;
}
