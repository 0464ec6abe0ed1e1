#include "sources/ExplorerSwitches.h"

#include "registry/RegKey.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"

bool SwitchedOff(HKEY root, const char* approvedPath, const std::wstring& name) {
    registry::Key approved;
    RegValueBlob marker;
    return approved.Open(root, approvedPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS &&
           RegistryAccess().ReadWholeValue(approved.Get(), name, &marker) == ERROR_SUCCESS && marker.count() > 0 &&
           (marker.bytes[0] & 1) != 0;
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
