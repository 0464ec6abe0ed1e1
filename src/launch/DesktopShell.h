#pragma once
#include <windows.h>
#include <shldisp.h>
#include <wrl/client.h>

#include <string>

namespace launch {

// Starts programs through the desktop shell's own process (Explorer), so that
// they run with the shell's token, unelevated, as Explorer starts Run values.
// The shell's dispatch object is found at the first start and kept for the
// next ones: finding it takes several calls into Explorer, each costing more
// than the start itself, and a batch of starts would otherwise crowd the
// system (and the watchers' take-overs) with them. Needs COM on the calling
// thread, for the object's life; one thread uses it.
class DesktopShell {
public:
    DesktopShell() = default;
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    // The result of the shell's ShellExecute: S_OK once the shell has the request.
    HRESULT Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
                  int show = SW_SHOWNORMAL);

private:
    Microsoft::WRL::ComPtr<IShellDispatch2> shell_;
};

// One start with a shell found for it alone.
HRESULT StartThroughDesktopShell(const std::wstring& program, const std::wstring& arguments,
                                 const std::wstring& folder, int show = SW_SHOWNORMAL);

}  // namespace launch
