#include "platform/win32/sysdll.h"

#include <string>

namespace plat {
namespace win32 {

HMODULE LoadSystemLibrary(const char* name) {
  char dir[MAX_PATH + 1];
  UINT n = ::GetSystemDirectoryA(dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string path(dir, n);
  if (path.back() != '\\') path += '\\';
  path += name;
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module && ::GetLastError() == 0) ::SetLastError(ERROR_MOD_NOT_FOUND);
  return module;
}

void RestrictDllSearch() {
  const DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  SetDefaultDllDirectoriesFunction setDefault = nullptr;
  SetDllDirectoryFunction setDirectory = nullptr;
  Resolve(kernel, "SetDefaultDllDirectories", &setDefault);
  Resolve(kernel, "SetDllDirectoryA", &setDirectory);
  if (setDefault) setDefault(kSearchSystem32);
  if (setDirectory) setDirectory("");
}

}  // namespace win32
}  // namespace plat
