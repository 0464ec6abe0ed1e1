#include "app/Elevation.h"

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <vector>

#include "resource.h"
#include "ui/ResourceText.h"
#include "win/Diagnostics.h"
#include "win/ModulePath.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace machinekeys {
namespace {

constexpr DWORD kElevatedWait = 60000;

}  // namespace

bool StartElevated(HWND owner, const std::wstring& parameters, const char* what) {
    const std::wstring self = win::RunningExecutable();
    if (self.empty()) return false;
    SHELLEXECUTEINFOW record{};
    record.cbSize = sizeof record;
    record.fMask = SEE_MASK_NOCLOSEPROCESS;
    record.hwnd = owner;
    record.lpVerb = L"runas";
    record.lpFile = self.c_str();
    record.lpParameters = parameters.c_str();
    record.nShow = SW_HIDE;
    if (!ShellExecuteExW(&record)) {
        PrintLine("Elevated %s not started (%lu)\n", what, GetLastError());
        return false;
    }
    const win::UniqueHandle process(record.hProcess);
    if (process) WaitForSingleObject(process.Get(), kElevatedWait);
    return true;
}

bool OfferElevated(HWND owner, const std::wstring& text, const std::wstring& parameters, const char* what) {
    if (MessageBoxW(owner, text.c_str(), ui::ResourceText(IDS_ELEVATE_CAPTION).c_str(), MB_YESNO | MB_ICONWARNING) !=
        IDYES)
        return false;
    return StartElevated(owner, parameters, what);
}

bool IsAdministratorAccount() {
    win::UniqueHandle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenGroups, buffer.data(), size, &size)) return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (IsWellKnownSid(groups->Groups[i].Sid, WinBuiltinAdministratorsSid)) return true;
    return false;
}

}  // namespace machinekeys
