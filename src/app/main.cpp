#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "Pacewick is being built.", "Quorvell Pacewick", MB_OK);
    return 0;
}
