// What the fuzz targets share: a simulated machine of their own under /tmp
// (one per process, so parallel runs do not meet) and a check that ends the
// run the way libFuzzer notices.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sim/sim.h"
#include "vqdlib/system.h"

namespace fuzz {

// A fresh Windows 2000 machine in /tmp/vqd-fuzz-<name>-<pid>, the library
// initialised as at program start.
inline void FreshMachine(const char* name) {
  sim::Reset("/tmp/vqd-fuzz-" + std::string(name) + "-" + std::to_string(getpid()));
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
