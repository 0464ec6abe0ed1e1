#include "launch/DesktopShell.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "win/Scoped.h"

namespace launch {
namespace {

using Microsoft::WRL::ComPtr;

constexpr ULONGLONG kShellWaitMs = 5000;

struct BstrTraits {
    using Handle = BSTR;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { SysFreeString(h); }
};
using UniqueBstr = win::Unique<BstrTraits>;

// A text argument; the variant borrows the string, which outlives the call.
VARIANT TextArgument(const UniqueBstr& text) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = text.Get();
    return argument;
}

// The shell's own dispatch object, reached through the desktop window's view.
HRESULT DesktopShellDispatch(ComPtr<IShellDispatch2>& shell) {
    ComPtr<IShellWindows> windows;
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&windows));
    if (FAILED(hr)) return hr;
    VARIANT desktop, root;
    VariantInit(&desktop);
    VariantInit(&root);
    desktop.vt = VT_I4;
    desktop.lVal = CSIDL_DESKTOP;
    long window = 0;
    ComPtr<IDispatch> found;
    hr = windows->FindWindowSW(&desktop, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &found);
    if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;  // S_FALSE: no desktop window
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background, application;
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(hr = found.As(&services)) ||
        FAILED(hr = services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))) ||
        FAILED(hr = browser->QueryActiveShellView(&view)) ||
        FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) ||
        FAILED(hr = background.As(&folderView)) || FAILED(hr = folderView->get_Application(&application)))
        return hr;
    return application.As(&shell);
}

// The shell makes its windows known a moment after it starts (at log-on, after
// Explorer restarts): until then COM knows no such class. It is asked again,
// for a few seconds.
HRESULT FoundShell(ComPtr<IShellDispatch2>& shell) {
    shell.Reset();
    HRESULT hr = S_OK;
    for (const ULONGLONG end = GetTickCount64() + kShellWaitMs;
         (hr = DesktopShellDispatch(shell)) == REGDB_E_CLASSNOTREG && GetTickCount64() < end;)
        Sleep(200);
    return hr;
}

// The shell went away (Explorer restarted) since the object was found: the
// request never reached it, and a new shell can take it.
bool ShellGone(HRESULT hr) { return hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE); }

}  // namespace

HRESULT DesktopShell::Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
                            int show) {
    const UniqueBstr file(SysAllocString(program.c_str()));
    const UniqueBstr args(SysAllocString(arguments.c_str()));
    const UniqueBstr dir(SysAllocString(folder.c_str()));
    const UniqueBstr verb(SysAllocString(L""));  // the file's default verb
    if (!file || !args || !dir || !verb) return E_OUTOFMEMORY;
    VARIANT window;
    VariantInit(&window);
    window.vt = VT_I4;
    window.lVal = show;
    const auto execute = [&] {
        return shell_->ShellExecute(file.Get(), TextArgument(args), TextArgument(dir), TextArgument(verb), window);
    };
    // None found yet counts as gone: it is found, and a kept one that went is found again, once.
    HRESULT hr = shell_ ? execute() : RPC_E_DISCONNECTED;
    if (ShellGone(hr) && SUCCEEDED(hr = FoundShell(shell_))) hr = execute();
    return hr;
}

HRESULT StartThroughDesktopShell(const std::wstring& program, const std::wstring& arguments,
                                 const std::wstring& folder, int show) {
    return DesktopShell().Start(program, arguments, folder, show);
}

}  // namespace launch
