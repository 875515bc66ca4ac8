// What the fuzz targets share: a simulated machine of their own under /tmp
// (one per process, so parallel runs do not meet) and a check that ends the
// run the way libFuzzer notices.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/sim/sim.h"
#include "vqdlib/system.h"

namespace fuzz {

// A fresh Windows 2000 machine in <memory or /tmp>/vqd-fuzz-<name>-<pid>, the
// library initialised as at program start. The simulated files are real
// ones: in memory (/dev/shm) a run is several times faster.
inline void FreshMachine(const char* name) {
  static const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  static std::string root;
  if (root.empty()) {
    root = base + "/vqd-fuzz-" + std::string(name) + "-" + std::to_string(getpid());
    std::atexit([] { std::filesystem::remove_all(root); });
  }
  sim::Reset(root);
  InitLibrary();
}

inline std::string Text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// An invariant of the code under test: a broken one stops the run with a
// trap, which libFuzzer and the replay both report as a crash.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  __builtin_trap();
}

}  // namespace fuzz
