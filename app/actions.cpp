#include "app/actions.h"

#include "app/runlock.h"
#include "app/runstate.h"
#include "package/payload.h"
#include "platform/journal.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/enable.h"
#include "vqdlib/restart.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

namespace {

enum class Action { Install, Remove, Upgrade };

bool InstalledButDisabled() { return GetInstallCount() != 0 && !IsDriverInstalled(); }

// A driver the user disabled is switched on again before the dialog's
// choice runs on it.
void ReenableForDialog() {
  if (Interactive && InstalledButDisabled()) EnableDriver(false);
}

// The procedure of the running family. A reboot one procedure needs is not
// taken back by a later one of the same run that changed nothing (after an
// install that copied the driver, an upgrade finds it current); only a
// restart of every CD-ROM device takes it back.
void Dispatch(Action action) {
  bool needed = false;
  DriverCopyFailed = false;
  switch (action) {
    case Action::Install: needed = InstallForFamily(); break;
    case Action::Remove: needed = UninstallForFamily(ForceRemove); break;
    case Action::Upgrade: needed = UpgradeForFamily(Overwrite); break;
  }
  // Stored before the restart: an error in it leaves the procedure's reboot.
  RebootNeeded = RebootNeeded || needed;
  // Restarting the CD-ROM devices makes every change so far take effect at
  // once, also one whose earlier restart left a device behind; only a device
  // that did not restart now still needs the reboot.
  if (Is2K && NoReboot && RestartCdromDevices(RestartNeedsReboot, Interactive)) RebootNeeded = RestartNeedsReboot;
}

// Whether the action left what it was asked for: after an install or an
// upgrade the driver installed and enabled, as "/CHECK" sees it; after a
// removal that was due, no registration of it.
void CheckOutcome(Action action) {
  // An upgrade whose copy failed left the old version in place: not what
  // was asked.
  if (action == Action::Upgrade && DriverCopyFailed && IsDriverInstalled()) {
    DebugLog("MAIN: Upgrade failed - driver not replaced");
    ActionFailed = true;
    return;
  }
  if (action == Action::Remove ? !RemovalIncomplete : IsDriverInstalled()) return;
  DebugLog(action == Action::Install   ? "MAIN: Install failed - driver not installed"
           : action == Action::Upgrade ? "MAIN: Upgrade failed - driver not installed"
                                       : "MAIN: Uninstall failed - driver still registered");
  ActionFailed = true;
}

// Without this run's own temporary directory nothing can be extracted: an
// install or an upgrade then changes nothing on the system (a disabled
// driver stays disabled too) and fails.
bool SkippedForTempDir(Action action) { return action != Action::Remove && TempDir.empty(); }

void LogSkipped(Action action) {
  DebugLog(action == Action::Install ? "MAIN: No temp dir - install skipped" : "MAIN: No temp dir - upgrade skipped");
  ActionFailed = true;
}

// The reboot need of the run before the action that is under way.
bool RebootBeforeAction = false;

// Runs one action under the journal. When it fails, every change it made
// is undone; undone in full, it needs no reboot for itself. Without a
// journal on disk nothing may change: the action is not run.
template <typename Body>
void Journaled(Body body) {
  const bool failedBefore = ActionFailed;
  ActionFailed = false;
  RebootBeforeAction = RebootNeeded;
  if (!plat::JournalBegin(TempDir)) {
    DebugLog("MAIN: No journal - nothing done");
    ActionFailed = true;
  } else {
    body();
    if (ActionFailed)
      UndoFailedAction();
    else
      plat::JournalEnd(DebugLog);
  }
  ActionFailed = ActionFailed || failedBefore;
}

void Run(Action action, const char* line) {
  if (SkippedForTempDir(action)) {
    DebugLog(line);
    return LogSkipped(action);
  }
  Journaled([&] {
    ReenableForDialog();
    DebugLog(line);
    Dispatch(action);
    CheckOutcome(action);
  });
}

// Enables or disables the driver; whether a reboot is needed. A driver not
// left as asked (enabled and loading; or under its disabled name only, with
// nothing that loads it) fails the action, whose journal then takes back
// what it did half-way.
bool SwitchDriver(bool enabling) {
  const bool reboot = enabling ? EnableDriver(true) : DisableDriver();
  if (enabling ? IsDriverInstalled() : IsDriverDisabled()) return reboot;
  DebugLog(enabling ? "MAIN: Enable failed - driver not enabled" : "MAIN: Disable failed - driver not disabled");
  ActionFailed = true;
  return reboot;
}

}  // namespace

void UndoFailedAction() {
  if (!plat::JournalRecording()) return;
  ActionFailed = true;
  if (plat::JournalUndo(DebugLog)) RebootNeeded = RebootBeforeAction;
}

bool EnableOrDisableFromDialog(bool enabling) {
  bool rebootNeeded = false;
  const bool failedBefore = ActionFailed;
  if (TakeRunLock()) Journaled([&] { rebootNeeded = SwitchDriver(enabling); });
  ReleaseRunLock();
  // The dialog judges the outcome by what the system holds afterwards.
  ActionFailed = failedBefore;
  return rebootNeeded;
}

void RunActions() {
  if (InstallSwitch) Run(Action::Install, "MAIN: Install switch activated");
  if (RemoveSwitch) Run(Action::Remove, "MAIN: Uninstall switch activated");
  if (UpgradeSwitch) Run(Action::Upgrade, "MAIN: Upgrade switch activated");
  const bool upgradeSkipped = SkippedForTempDir(Action::Upgrade);
  if (UpgradeOnlySwitch) Journaled([upgradeSkipped] {
    if (!upgradeSkipped) ReenableForDialog();
    DebugLog("MAIN: Upgradeonly switch activated");
    if (IsDriverInstalled()) {
      DebugLog("MAIN: Upgradeonly found an existing installation.");
      if (upgradeSkipped) {
        LogSkipped(Action::Upgrade);
      } else {
        Dispatch(Action::Upgrade);
        CheckOutcome(Action::Upgrade);
      }
    } else {
      DebugLog("MAIN: Upgradeonly didn't find existing installation.");
    }
  });
  // Enable and disable never touch RebootNeeded: from the command line they
  // end with 0 even when the rename takes effect only after a reboot (13
  // when the driver was not left as asked).
  if (EnableSwitch) Journaled([] {
    DebugLog("MAIN: Enable driver switch activated");
    if (InstalledButDisabled()) {
      DebugLog("MAIN: Enable driver passed disabled test");
      EnableResult = SwitchDriver(true);
    } else {
      DebugLog("MAIN: Enable driver failed disabled test");
    }
  });
  if (DisableSwitch) Journaled([] {
    DebugLog("MAIN: Disable driver switch activated");
    if (GetInstallCount() != 0 && IsDriverInstalled()) {
      DebugLog("MAIN: Disable driver passed enabled test");
      EnableResult = SwitchDriver(false);
    } else {
      DebugLog("MAIN: Disable driver failed enabled test");
    }
  });
}
