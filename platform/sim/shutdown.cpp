// The simulated shutdown: a process token with the shutdown privilege, and
// ExitWindowsEx, which is recorded and never performed.
#include "platform/sim/machine.h"

using namespace sim::internal;

namespace {

// SE_SHUTDOWN_PRIVILEGE, the identifier the NT family gives it.
constexpr uint32_t kShutdownPrivilegeLow = 19;

bool NoTokensOn9x() {
  if (M().version.platformId == plat::kPlatformWin32NT) return false;
  M().lastError = plat::kErrorCallNotImplemented;
  return true;
}

}  // namespace

namespace sim {

void SetShutdownPrivilegeHeld(bool held) { M().shutdownPrivilegeHeld = held; }
bool ShutdownPrivilegeEnabled() { return M().shutdownPrivilegeEnabled; }
int OpenTokenHandles() { return static_cast<int>(M().tokens.size()); }
const std::vector<ExitWindowsCall>& ExitWindowsCalls() { return M().exitWindowsCalls; }

}  // namespace sim

namespace plat {

bool OpenProcessToken(uint32_t access, TokenHandle* token) {
  if (Failing("OpenProcessToken") || NoTokensOn9x()) return false;
  intptr_t h = M().nextHandle++;
  M().tokens[h] = access;
  *token = static_cast<TokenHandle>(h);
  return true;
}

bool LookupPrivilegeValueA(const std::string& name, Luid* luid) {
  if (Failing("LookupPrivilegeValueA", name) || NoTokensOn9x()) return false;
  if (Upper(name) != "SESHUTDOWNPRIVILEGE") {
    M().lastError = kErrorNoSuchPrivilege;
    return false;
  }
  luid->lowPart = kShutdownPrivilegeLow;
  luid->highPart = 0;
  return true;
}

bool AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, uint32_t attributes) {
  if (Failing("AdjustTokenPrivileges") || NoTokensOn9x()) return false;
  auto it = M().tokens.find(static_cast<intptr_t>(token));
  if (it == M().tokens.end()) {
    M().lastError = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
  if ((it->second & kTokenAdjustPrivileges) == 0) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  // A privilege the user does not hold is left out, and the call still succeeds.
  bool isShutdown = privilege.lowPart == kShutdownPrivilegeLow && privilege.highPart == 0;
  if (!isShutdown || !M().shutdownPrivilegeHeld) {
    M().lastError = kErrorNotAllAssigned;
    return true;
  }
  M().shutdownPrivilegeEnabled = (attributes & kSePrivilegeEnabled) != 0;
  M().lastError = kErrorSuccess;
  return true;
}

bool CloseHandle(TokenHandle token) {
  if (M().tokens.erase(static_cast<intptr_t>(token)) == 0) {
    M().lastError = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
  return !Failing("CloseHandle");
}

bool ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  (void)reserved;
  bool accepted = !Failing("ExitWindowsEx");
  if (accepted && M().version.platformId == kPlatformWin32NT && !M().shutdownPrivilegeEnabled) {
    M().lastError = kErrorPrivilegeNotHeld;
    accepted = false;
  }
  M().exitWindowsCalls.push_back(sim::ExitWindowsCall{flags, accepted});
  return accepted;
}

}  // namespace plat
