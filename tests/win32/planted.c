/* A stranger's DLL for the end-to-end tests, built under the names of the
 * DLLs a program imports or loads (setupapi.dll, version.dll, ...): planted
 * beside a program or in its current directory, it is what a load by bare
 * name may find first. When it is loaded, DllMain leaves a marker file beside
 * it (its own path with ".ran" appended), so a test sees whether it ran at
 * all; and every function fails with the error 0x5EED, so a test sees at once
 * whose SetupAPI or version functions a program used. It exports what
 * vqdinst.exe and cdromseed.exe use of both, what Wine's own user32.dll
 * imports, and what Wine's SetupAPI takes of wintrust.dll (so that a load of
 * a planted one fails a call instead of ending the process). Not part of
 * vqdinst.exe. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  char path[MAX_PATH + 8];
  DWORD n;
  HANDLE marker;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcpyA(path + n, ".ran");
  marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}

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

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR a, DWORD* b) {
  (void)a, (void)b;
  SetLastError(PLANTED_ERROR);
  return 0;
}
PLANTED(GetFileVersionInfoA, (LPCSTR a, DWORD b, DWORD c, void* d))
PLANTED(VerQueryValueA, (const void* a, LPCSTR b, void** c, UINT* d))
/* What Wine's own user32.dll imports of version.dll. */
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR a, DWORD* b) {
  (void)a, (void)b;
  SetLastError(PLANTED_ERROR);
  return 0;
}
PLANTED(GetFileVersionInfoW, (LPCWSTR a, DWORD b, DWORD c, void* d))
PLANTED(VerQueryValueW, (const void* a, LPCWSTR b, void** c, UINT* d))
/* What Wine's setupapi.dll takes of wintrust.dll for a catalog. */
PLANTED(CryptCATAdminAcquireContext, (HANDLE* a, const GUID* b, DWORD c))
PLANTED(CryptCATAdminReleaseContext, (HANDLE a, DWORD b))
PLANTED(CryptCATAdminReleaseCatalogContext, (HANDLE a, HANDLE b, DWORD c))
__declspec(dllexport) HANDLE WINAPI CryptCATAdminAddCatalog(HANDLE a, WCHAR* b, WCHAR* c, DWORD d) {
  (void)a, (void)b, (void)c, (void)d;
  SetLastError(PLANTED_ERROR);
  return NULL;
}
