/* The floor of every vqdinst.exe run under the benchmark: a static Win32
 * program from the same toolchain that does what every run of vqdinst.exe
 * does besides its work, starting up, registering a window class, creating
 * and destroying one hidden window, and exiting. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    WNDCLASSA wc;
    HWND window;
    (void)previous;
    (void)commandLine;
    (void)show;
    ZeroMemory(&wc, sizeof wc);
    wc.style = CS_HREDRAW;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "vqdfloor";
    if (!RegisterClassA(&wc)) return 1;
    window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, "vqdfloor", "vqdfloor", WS_SYSMENU | WS_THICKFRAME, 0, 0, 1, 1,
                             NULL, NULL, instance, NULL);
    if (window) DestroyWindow(window);
    UnregisterClassA("vqdfloor", instance);
    ExitProcess(window ? 0 : 2);
}
