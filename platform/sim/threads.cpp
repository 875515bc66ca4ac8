// Simulated threads: real threads with a simulated clock. A worker's Sleep
// blocks until the main thread, waiting for it with a time-out, has let
// enough simulated time pass; the main thread's Sleep passes at once. So the
// number of waits a worker costs is the same on every run, and no test waits
// for real time.
//
// Only the thread table below is shared between the threads; it has its own
// lock. The main thread touches nothing else of the machine while it waits.
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/sim/machine.h"

using namespace sim::internal;

namespace {

struct SimThread {
  enum class State { Running, Sleeping, Done };
  State state = State::Running;
  uint64_t wakeAt = 0;    // simulated milliseconds
  bool detached = false;  // nobody waits for it any more: its sleeps pass at once
  uint32_t exitCode = plat::kStillActive;
  std::thread thread;
  // A thread still running when the test program ends must not abort it.
  ~SimThread() {
    if (thread.joinable()) thread.detach();
  }
};

std::mutex Lock;
std::condition_variable Changed;
std::map<plat::ThreadHandle, std::unique_ptr<SimThread>> Threads;
uint64_t Clock = 0;  // simulated milliseconds
size_t Created = 0;
plat::ThreadHandle NextThread = 0x7000;
thread_local SimThread* Current = nullptr;  // the thread's own entry; null on the main thread

// Lets a thread run to its end without anybody waiting for it, and joins it.
void Finish(std::unique_ptr<SimThread>& t, std::unique_lock<std::mutex>& held) {
  t->detached = true;
  if (t->state == SimThread::State::Sleeping) t->state = SimThread::State::Running;
  Changed.notify_all();
  held.unlock();
  if (t->thread.joinable()) t->thread.join();
  held.lock();
}

}  // namespace

namespace sim {
size_t ThreadsCreated() { return Created; }
}  // namespace sim

namespace sim::internal {

void EndThreads() {
  std::unique_lock<std::mutex> held(Lock);
  for (auto& [handle, t] : Threads) Finish(t, held);
  Threads.clear();
  Clock = 0;
  Created = 0;
}

}  // namespace sim::internal

namespace plat {

void Sleep(uint32_t milliseconds) {
  RecordDeviceCall("Sleep " + std::to_string(milliseconds));
  std::unique_lock<std::mutex> held(Lock);
  if (!Current || Current->detached) {
    Clock += milliseconds;
    return;
  }
  Current->wakeAt = Clock + milliseconds;
  Current->state = SimThread::State::Sleeping;
  Changed.notify_all();
  Changed.wait(held, [] { return Current->state == SimThread::State::Running; });
}

ThreadHandle CreateThread(ThreadProc proc, void* parameter) {
  if (Failing("CreateThread")) return 0;
  std::lock_guard<std::mutex> held(Lock);
  auto t = std::make_unique<SimThread>();
  SimThread* self = t.get();
  t->thread = std::thread([self, proc, parameter] {
    Current = self;
    uint32_t code = proc(parameter);
    std::lock_guard<std::mutex> done(Lock);
    self->exitCode = code;
    self->state = SimThread::State::Done;
    Changed.notify_all();
  });
  ThreadHandle handle = NextThread++;
  Threads[handle] = std::move(t);
  ++Created;
  return handle;
}

uint32_t WaitForSingleObject(ThreadHandle thread, uint32_t milliseconds) {
  uint32_t mutexResult = 0;
  if (sim::internal::WaitForMutex(thread, milliseconds, &mutexResult)) return mutexResult;
  std::unique_lock<std::mutex> held(Lock);
  auto it = Threads.find(thread);
  if (it == Threads.end()) return 0xFFFFFFFF;  // WAIT_FAILED
  SimThread& t = *it->second;
  for (;;) {
    // Time passes only while the thread is blocked in its Sleep.
    Changed.wait(held, [&t] { return t.state != SimThread::State::Running; });
    if (t.state == SimThread::State::Done) return kWaitObject0;
    if (milliseconds != kInfinite && Clock + milliseconds < t.wakeAt) {
      Clock += milliseconds;
      return kWaitTimeout;
    }
    uint64_t waited = t.wakeAt - Clock;
    Clock = t.wakeAt;
    t.state = SimThread::State::Running;
    Changed.notify_all();
    if (milliseconds != kInfinite) {
      if (waited == milliseconds) return kWaitTimeout;  // woke it exactly at the end of the wait
      milliseconds -= static_cast<uint32_t>(waited);
    }
  }
}

bool GetExitCodeThread(ThreadHandle thread, uint32_t* exitCode) {
  // Asked only after the thread ended, so no worker asks Failing meanwhile.
  if (Failing("GetExitCodeThread")) return false;
  std::lock_guard<std::mutex> held(Lock);
  auto it = Threads.find(thread);
  if (it == Threads.end()) {
    M().lastError = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
  *exitCode = it->second->exitCode;
  return true;
}

bool CloseThreadHandle(ThreadHandle thread) {
  std::unique_lock<std::mutex> held(Lock);
  auto it = Threads.find(thread);
  if (it == Threads.end()) return false;
  Finish(it->second, held);
  Threads.erase(thread);
  return true;
}

}  // namespace plat
