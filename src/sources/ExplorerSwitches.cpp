#include "sources/ExplorerSwitches.h"

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"

StartupSwitches::StartupSwitches(HKEY root, const wchar_t* approvedPath) {
    approved_.Open(root, approvedPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
}

bool StartupSwitches::Off(const std::wstring& name) const {
    RegValueBlob marker;
    return approved_.ReadValue(name, &marker) == ERROR_SUCCESS && marker.count() > 0 && (marker.bytes[0] & 1) != 0;
}

bool TurnedOffByPolicy(const wchar_t* policyName) {
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        registry::Key policies;
        DWORD value = 0;
        if (policies.Open(hive, keys::kExplorerPolicies, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
            policies.ReadDword(policyName, &value) == ERROR_SUCCESS && value == 1)
            return true;
    }
    return false;
}
