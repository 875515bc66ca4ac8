// The process token's shutdown privilege and ExitWindowsEx on the real system.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace plat {

static HANDLE T(TokenHandle t) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(t)); }

bool OpenProcessToken(uint32_t access, TokenHandle* token) {
  HANDLE h = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), access, &h)) return false;
  *token = static_cast<TokenHandle>(reinterpret_cast<intptr_t>(h));
  return true;
}

bool LookupPrivilegeValueA(const std::string& name, Luid* luid) {
  LUID id;
  std::memset(&id, 0, sizeof id);
  if (!::LookupPrivilegeValueA(nullptr, name.c_str(), &id)) return false;
  luid->lowPart = id.LowPart;
  luid->highPart = id.HighPart;
  return true;
}

bool AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, uint32_t attributes) {
  TOKEN_PRIVILEGES privileges;
  std::memset(&privileges, 0, sizeof privileges);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid.LowPart = privilege.lowPart;
  privileges.Privileges[0].Luid.HighPart = privilege.highPart;
  privileges.Privileges[0].Attributes = attributes;
  return ::AdjustTokenPrivileges(T(token), FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

bool CloseHandle(TokenHandle token) { return ::CloseHandle(T(token)) != FALSE; }

bool ExitWindowsEx(uint32_t flags, uint32_t reserved) { return ::ExitWindowsEx(flags, reserved) != FALSE; }

}  // namespace plat
