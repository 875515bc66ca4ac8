// Named mutexes of the simulated Windows, and the end of the process that a
// kill brings: what it had open is closed, a mutex it held is abandoned.
#include <unistd.h>

#include "platform/journalentry.h"
#include "platform/sim/machine.h"

using namespace sim::internal;

namespace plat {

MutexHandle CreateMutexA(const std::string& name) {
  if (Failing("CreateMutexA", name)) return 0;
  Machine::Mutex& mutex = M().mutexes[Upper(name)];
  if (mutex.deniedToUs) {
    M().lastError = kErrorAccessDenied;
    return 0;
  }
  const MutexHandle h = M().nextHandle++;
  M().mutexHandles[h] = Upper(name);
  return h;
}

bool ReleaseMutex(MutexHandle handle) {
  auto it = M().mutexHandles.find(handle);
  if (it == M().mutexHandles.end() || M().mutexes[it->second].ownedByUs == 0) {
    M().lastError = 288;  // ERROR_NOT_OWNER
    return false;
  }
  --M().mutexes[it->second].ownedByUs;
  return true;
}

}  // namespace plat

namespace sim::internal {

// WaitForSingleObject of a mutex handle; false when the handle is none.
bool WaitForMutex(intptr_t handle, uint32_t milliseconds, uint32_t* result) {
  auto it = M().mutexHandles.find(handle);
  if (it == M().mutexHandles.end()) return false;
  Machine::Mutex& mutex = M().mutexes[it->second];
  if (Failing("WaitForSingleObject", it->second)) {
    *result = 0xFFFFFFFF;  // WAIT_FAILED
  } else if (mutex.heldElsewhere) {
    M().clock += static_cast<uint64_t>(milliseconds) * 10000;
    *result = plat::kWaitTimeout;
  } else {
    *result = mutex.abandoned ? plat::kWaitAbandoned : plat::kWaitObject0;
    mutex.abandoned = false;
    ++mutex.ownedByUs;
  }
  return true;
}

// CloseHandle of a mutex handle; false when the handle is none.
bool CloseMutex(intptr_t handle) { return M().mutexHandles.erase(handle) == 1; }

}  // namespace sim::internal

namespace sim {

void HoldMutexElsewhere(const std::string& name) { M().mutexes[Upper(name)].heldElsewhere = true; }
void DenyMutex(const std::string& name) { M().mutexes[Upper(name)].deniedToUs = true; }
bool MutexHeld(const std::string& name) {
  auto it = M().mutexes.find(Upper(name));
  return it != M().mutexes.end() && it->second.ownedByUs > 0;
}

void EndProcess() {
  Machine& m = M();
  m.countingFailurePoints = false;
  for (auto& [h, f] : m.files) close(f.fd);
  m.files.clear();
  m.searches.clear();
  m.views.clear();
  m.mutexHandles.clear();
  for (auto& [name, mutex] : m.mutexes) {
    mutex.abandoned = mutex.abandoned || mutex.ownedByUs > 0;
    mutex.ownedByUs = 0;
  }
  for (auto it = m.keys.begin(); it != m.keys.end();)
    it = it->first == plat::kHKeyLocalMachine || it->first == plat::kHKeyCurrentUser ? std::next(it) : m.keys.erase(it);
  m.deviceSets.clear();
  m.tokens.clear();
  plat::journal::ProcessEnded();
}

}  // namespace sim
