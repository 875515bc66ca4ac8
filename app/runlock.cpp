#include "app/runlock.h"

#include <string>

#include "package/payload.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

bool AnotherRunBusy = false;

namespace {
plat::MutexHandle RunLock = 0;
bool Held = false;
}  // namespace

const char* RunLockName() { return Is2K ? "Global\\VQDINST" : "VQDINST"; }

bool TakeRunLock() {
  if (Held) return true;
  AnotherRunBusy = false;
  if (RunLock == 0) RunLock = plat::CreateMutexA(RunLockName());
  uint32_t waited = plat::kWaitTimeout;
  if (RunLock != 0 && (waited = plat::WaitForSingleObject(RunLock, 0)) == plat::kWaitTimeout) {
    DebugLog("MAIN: Another run is busy - waiting");
    waited = plat::WaitForSingleObject(RunLock, kRunLockWaitMs);
  }
  // Abandoned: the run that held it died; this one holds it now.
  Held = waited == plat::kWaitObject0 || waited == plat::kWaitAbandoned;
  if (!Held) {
    // A mutex this run may not wait for (another user made it) counts as
    // busy too: no run changes anything without it.
    DebugLog("MAIN: Another run is busy - nothing done");
    AnotherRunBusy = true;
    ReleaseRunLock();
    return false;
  }
  std::string deadRunDir;
  const plat::JournalRecovery recovery = plat::JournalRecover(DebugLog, &deadRunDir);
  if (recovery == plat::JournalRecovery::kUntrusted) DebugLog("JNL: Journal folder not trusted - left alone");
  ReclaimTempDirs(deadRunDir);
  return true;
}

void ResetRunLock() {
  AnotherRunBusy = false;
  RunLock = 0;
  Held = false;
}

void ReleaseRunLock() {
  if (Held) plat::ReleaseMutex(RunLock);
  if (RunLock != 0) plat::CloseHandle(RunLock);
  RunLock = 0;
  Held = false;
}
