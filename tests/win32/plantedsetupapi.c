/* A stranger's setupapi.dll for the end-to-end tests: planted beside a
 * program, it is what a bare-name load of "setupapi.dll" may find first.
 * Every function fails with the error 0x5EED, so a test sees at once whose
 * SetupAPI a program used. It exports what vqdinst.exe and cdromseed.exe use.
 * Not part of vqdinst.exe. */
#include <windows.h>

#define PLANTED_ERROR 0x5EED

#define PLANTED(name, params)                            \
  __declspec(dllexport) BOOL WINAPI name params {        \
    SetLastError(PLANTED_ERROR);                         \
    return FALSE;                                        \
  }

__declspec(dllexport) HANDLE WINAPI SetupDiGetClassDevsA(const GUID* a, const char* b, HWND c, DWORD d) {
  (void)a, (void)b, (void)c, (void)d;
  SetLastError(PLANTED_ERROR);
  return INVALID_HANDLE_VALUE;
}

__declspec(dllexport) HANDLE WINAPI SetupDiCreateDeviceInfoList(const GUID* a, HWND b) {
  (void)a, (void)b;
  SetLastError(PLANTED_ERROR);
  return INVALID_HANDLE_VALUE;
}

PLANTED(SetupCopyOEMInfA, (LPCSTR a, LPCSTR b, DWORD c, DWORD d, LPSTR e, DWORD f, DWORD* g, LPSTR* h))
PLANTED(SetupDiEnumDeviceInfo, (HANDLE a, DWORD b, void* c))
PLANTED(SetupDiGetDeviceRegistryPropertyA, (HANDLE a, void* b, DWORD c, DWORD* d, BYTE* e, DWORD f, DWORD* g))
PLANTED(SetupDiSetClassInstallParamsA, (HANDLE a, void* b, void* c, DWORD d))
PLANTED(SetupDiCallClassInstaller, (DWORD a, HANDLE b, void* c))
PLANTED(SetupDiGetDeviceInstallParamsA, (HANDLE a, void* b, void* c))
PLANTED(SetupDiDestroyDeviceInfoList, (HANDLE a))
PLANTED(SetupDiCreateDeviceInfoA, (HANDLE a, LPCSTR b, const GUID* c, LPCSTR d, HWND e, DWORD f, void* g))
PLANTED(SetupDiRegisterDeviceInfo, (HANDLE a, void* b, DWORD c, void* d, void* e, void* f))
PLANTED(SetupDiCreateDeviceInterfaceA, (HANDLE a, void* b, const GUID* c, LPCSTR d, DWORD e, void* f))
PLANTED(SetupDiRemoveDevice, (HANDLE a, void* b))
