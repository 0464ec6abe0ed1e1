#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "app/PacewickApp.h"
#include "win/ComApartment.h"
#include "win/ModulePath.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    win::LoadLibrariesFromSystemFolderOnly();
    CPacewickApp app;
    {
        const win::ComApartment apartment;  // the help and web links call the shell from this thread
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&controls);
        app.InitInstance();
    }
    // Everything the program changes is in the registry, written, and every
    // diagnostic line is flushed: the process ends here and now, whatever a
    // thread still waits for (the Task Scheduler's answer, a monitor past its
    // bounded stop), rather than linger without a window while DLLs detach.
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(app.ExitCode()));
    return app.ExitCode();
}
