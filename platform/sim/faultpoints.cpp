// Failure points: every simulated call that can fail on Windows asks Failing
// whether it is to fail, and each such question is one point. A test counts
// the points a run passes, learns their order from a clean run, and then
// makes each one fail in turn.
#include "platform/sim/machine.h"

namespace sim {

void CountFailurePoints(size_t failNth) {
  internal::Machine& m = internal::M();
  m.countingFailurePoints = true;
  m.failNth = failNth;
  m.killAtNth = false;
  m.failurePoints.clear();
}

void CountFailurePointsAndKill(size_t killNth) {
  CountFailurePoints(killNth);
  internal::M().killAtNth = true;
}

void StopCountingFailurePoints() { internal::M().countingFailurePoints = false; }

const std::vector<FailurePoint>& FailurePointsPassed() { return internal::M().failurePoints; }

}  // namespace sim

namespace sim::internal {

bool FailurePointFails(const char* function, const std::string& path) {
  Machine& m = M();
  if (!m.countingFailurePoints) return false;
  m.failurePoints.push_back(FailurePoint{function, path});
  if (m.failurePoints.size() != m.failNth) return false;
  if (m.killAtNth) {
    m.countingFailurePoints = false;
    throw Killed();
  }
  return true;
}

}  // namespace sim::internal
