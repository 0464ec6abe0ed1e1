#include "registry/ConfigStore.h"

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"

namespace {

// Without a key (it could not be made) the value is reported unwritten.
void PutDword(const registry::Key& key, const wchar_t* name, DWORD value) {
    PrintLine(key.WriteDword(name, value) == ERROR_SUCCESS ? "Reg entry put SUCCESSFULLY!!\n"
                                                           : "Reg entry put UNSUCCESSFUL!!\n");
}

// A switch the account chose; one not chosen is not written.
void PutSwitch(const registry::Key& key, const wchar_t* name, const CConfigStore::Switch& value) {
    if (value.chosen) PutDword(key, name, value.on ? 1 : 0);
}

// A switch as the account chose it; one missing or misshapen keeps its default.
void ReadSwitch(const registry::Key& key, const wchar_t* name, CConfigStore::Switch* value) {
    DWORD number = 0;
    if (key.ReadDword(name, &number) == ERROR_SUCCESS) value->Choose(number != 0);
}

}  // namespace

DWORD CConfigStore::ReadSettings() {
    manual_ = kDefaultManual;
    timeDelay_ = kDefaultTimeDelay;
    restored_ = kDefaultRestored;
    startWhenReady_ = Switch{kDefaultStartWhenReady};
    notifyNewcomers_ = Switch{kDefaultNotifyNewcomers};
    registry::Key key;
    LONG status = key.Open(HKEY_CURRENT_USER, keys::kConfig, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);

    // Each setting on its own: one that is missing or misshapen keeps its default.
    DWORD value = 0;
    status = key.ReadDword(L"Manual", &value);
    if (status == ERROR_SUCCESS) manual_ = static_cast<int>(value);
    if (key.ReadDword(L"TimeDelay", &value) == ERROR_SUCCESS) timeDelay_ = value;
    if (key.ReadDword(L"Restored", &value) == ERROR_SUCCESS) restored_ = static_cast<int>(value);
    ReadSwitch(key, L"StartWhenReady", &startWhenReady_);
    ReadSwitch(key, L"NotifyNewcomers", &notifyNewcomers_);
    return static_cast<DWORD>(status);
}

void CConfigStore::WriteSettings() {
    // Made when missing: an account the installer did not set up keeps its choice too.
    registry::Key key;
    key.Create(HKEY_CURRENT_USER, keys::kConfig, KEY_SET_VALUE);
    PutDword(key, L"Manual", static_cast<DWORD>(manual_));
    PutDword(key, L"TimeDelay", timeDelay_);
    PutDword(key, L"Restored", static_cast<DWORD>(restored_));
    PutSwitch(key, L"StartWhenReady", startWhenReady_);
    PutSwitch(key, L"NotifyNewcomers", notifyNewcomers_);
}
