// One run at a time: a run that is about to change the system takes the
// machine-wide mutex first and holds it until its actions end. A second
// run waits for it, and ends with 13 having changed nothing when the wait
// is too long.
#pragma once

#include <cstdint>

// How long a run waits for another one: restarting many CD-ROM drives can
// take minutes.
constexpr uint32_t kRunLockWaitMs = 10 * 60 * 1000;

// The mutex: "Global\VQDINST" on Windows 2000 and later (one for every
// session of the machine), "VQDINST" on NT 4.0 and Windows 9x, which know
// no sessions.
const char* RunLockName();

// Takes the mutex, waiting up to kRunLockWaitMs; then puts right what a run
// that died left (its journal, its temporary directories). False, with a
// log line, when another run held it all that time (or it could not be
// had): nothing may change then, and AnotherRunBusy is set.
bool TakeRunLock();
void ReleaseRunLock();
// At the start of a run: nothing held yet.
void ResetRunLock();
extern bool AnotherRunBusy;
