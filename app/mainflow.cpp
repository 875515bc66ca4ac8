#include "app/mainflow.h"

#include <exception>

#include "app/actions.h"
#include "app/exitcodes.h"
#include "app/dialogs/interactive.h"
#include "app/dialogs/waitform.h"
#include "app/cmdline.h"
#include "app/flags.h"
#include "app/runlock.h"
#include "app/runstate.h"
#include "package/manifest.h"
#include "package/payload.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"
#include "vqdlib/service.h"
#include "vqdlib/restart.h"
#include "vqdlib/system.h"

namespace {

// The hidden window by which other programs see that VQDINST is running.
uint16_t MarkerClassAtom = 0;
plat::WindowHandle MarkerWindow = 0;
const char* const MarkerName = "vqdinst";

void CreateMarker() {
  MarkerClassAtom = plat::RegisterMarkerClass(MarkerName);
  if (MarkerClassAtom != 0) MarkerWindow = plat::CreateMarkerWindow(MarkerName);
}

// Ends a command-line run early: the log is closed, the marker destroyed.
int Leave(int code) {
  CloseDebugLog();
  DestroyMarkerWindow();
  return code;
}

int RefuseUnsupportedOS() {
  DebugLog("MAIN: Unsupported OS");
  plat::OsVersionInfo info;
  info.size = 148;
  plat::GetVersionExA(&info);
  if (info.platformId == plat::kPlatformWin32NT) DebugLog("MAIN: Platform WIN32_NT");
  if (info.platformId == plat::kPlatformWin32s) DebugLog("MAIN: Platform WIN32s");
  if (info.platformId == plat::kPlatformWin32Windows) DebugLog("MAIN: Platform WIN32_WINDOWS");
  DebugLog("MAIN: Version " + DecimalText(static_cast<int>(info.majorVersion)) + "." +
           DecimalText(static_cast<int>(info.minorVersion)) + " build " +
           DecimalText(static_cast<int>(info.buildNumber)));
  if (IsWow64) DebugLog("MAIN: 64-bit Windows");
  return Leave(12);
}

// The first pair of switches that exclude each other decides the exit code;
// 0 when there is none.
int CheckConflicts() {
  struct Conflict {
    bool holds;
    const char* line;
    int code;
  };
  const Conflict conflicts[] = {
      {InstallSwitch && RemoveSwitch, "MAIN: Install and Remove - can't do", 4},
      {EnableSwitch && DisableSwitch, "MAIN: Enable and Disable - can't do", 4},
      {EnableSwitch && RemoveSwitch, "MAIN: Enable and Uninstall - can't do", 4},
      {DisableSwitch && RemoveSwitch, "MAIN: Disable and Remove - can't do", 4},
      {DisableSwitch && InstallSwitch, "MAIN: Disable and Install - can't do", 4},
      {EnableSwitch && InstallSwitch, "MAIN: Enable and Install - can't do", 4},
      {(InstallSwitch || RemoveSwitch) && CheckSwitch, "MAIN: Inst/Remove and Check - can't do", 9},
  };
  for (const Conflict& c : conflicts) {
    if (c.holds) {
      DebugLog(c.line);
      return c.code;
    }
  }
  return 0;
}

}  // namespace

void DestroyMarkerWindow() {
  if (MarkerWindow != 0) plat::DestroyWindow(MarkerWindow);
  if (MarkerClassAtom != 0) plat::UnregisterClassA(MarkerName);
  MarkerWindow = 0;
  MarkerClassAtom = 0;
}

namespace {

// The run's result for a deployment tool's log, when it was started with a
// standard output (a file or a pipe): "vqdinst.exe /INSTALL: 6 (done,
// restart needed)". A write that fails changes nothing.
void WriteResultLine(int code) {
  const char* meaning = HelpSwitch && code == 6         ? "help shown"
                        : AnotherRunBusy && code == 13 ? "another run was busy, nothing changed"
                                                       : ExitCodeMeaning(static_cast<unsigned long>(code));
  std::string line = "vqdinst.exe";
  for (const std::string& name : ActedSwitches) line += " " + name;
  plat::WriteStandardOutput(line + ": " + DecimalText(code) + " (" + meaning + ")\r\n");
}

int RunSwitches(const std::vector<std::string>& args);

}  // namespace

int RunVqdinst(const std::vector<std::string>& args) {
  int code = RunSwitches(args);
  WriteResultLine(code);
  return code;
}

namespace {

int RunSwitches(const std::vector<std::string>& args) {
  // Start-up.
  ExitCode = 0;
  ResetRunState();
  CreateMarker();
  DeleteRegFlag();
  DeleteFlagFile("reboot");
  DeleteFlagFile("badinst");

  if (args.empty()) {
    DebugLog("MAIN: No params - starting interactive mode");
    // Nobody can see the dialog: it would wait for ever. Ends as Close does.
    if (!plat::IsWindowStationVisible()) {
      DebugLog("MAIN: Window station not visible - no dialog");
      DestroyMarkerWindow();
      return 1;
    }
    if (!RunInteractiveMode()) return 1;
  } else {
    DebugLog("MAIN: " + DecimalText(static_cast<long long>(args.size())) + " params");
    ReadArguments(args);
  }

  // Main sequence.
  NormaliseNotifyFlags();
  if (HelpSwitch) {
    ShowHelp();
    DestroyMarkerWindow();
    return 6;
  }
  OpenDebugLog();
  // "/LH" accepts a newer NT, never a 64-bit one: the driver would not load
  // there, and as a CD-ROM class filter it would stop every CD-ROM drive.
  if (UnsupportedOS || IsWow64) return RefuseUnsupportedOS();
  if (int code = CheckConflicts()) return Leave(code);

  try {
    if (ManifestSwitch) {
      DebugLog("MAIN: Manifest requested");
      WriteManifest();
      return Leave(8);
    }
    if (UnpackSwitch) {
      DebugLog("MAIN: Unpack files requested");
      UnpackPayload();
      return Leave(7);
    }
    if (RestartSwitch) {
      // Needs no administrator: a restart the system refuses fails by itself.
      RestartCdromDevices(RestartNeedsReboot, Interactive);
      return Leave(0);
    }
    if (IsNT && !IsAdmin()) {
      DebugLog("MAIN: NT and not Admin");
      // Nothing is being done any more: no "please wait" behind the refusal.
      if (Interactive) HidePleaseWait();
      if (Interactive)
        plat::MessageBoxA("You need to be an administrator to install this driver.", "VQDINST",
                          plat::kMbOk | plat::kMbIconError);
      return Leave(5);
    }
    if (CheckSwitch) {
      DebugLog("MAIN: Sanity check switch activated");
      // The check sees the system as it was before this run's actions. A
      // run that died half-way (or one under way) leaves its journal: the
      // driver is not as it should be until that is undone.
      SanityOK = IsDriverInstalled();
      if (plat::JournalPending()) {
        DebugLog("MAIN: Journal of an interrupted run pending");
        SanityOK = false;
      }
    }
    // Only a run that acts takes the lock (and puts right what a run that
    // died left): a check or a run without actions changes nothing.
    const bool acts = InstallSwitch || RemoveSwitch || UpgradeSwitch || UpgradeOnlySwitch || EnableSwitch || DisableSwitch;
    if (acts && !TakeRunLock()) {
      ActionFailed = true;
    } else {
      TempDir = MakeTempDir();
      RunActions();
      if (!TempDir.empty()) DeleteTempDir(TempDir);
    }
    ReleaseRunLock();
    // The outcome is reported with the log closed: the question nobody will
    // see is logged now (after an exception the log stays open for it).
    RebootQuestionUnseen();
    CloseDebugLog();
  } catch (const std::exception&) {
    // An unexpected error ends the actions; the run still reports its outcome.
    // Nothing to clean up before a temporary directory was made: an empty
    // path would name the root of the current drive. An undo that fails the
    // same way leaves its journal, for the next run to finish.
    // The action counts as failed before its undo starts.
    try {
      UndoFailedAction();
    } catch (const std::exception&) {
    }
    try {
      if (!TempDir.empty()) DeleteTempDir(TempDir);
    } catch (const std::exception&) {
    }
    ReleaseRunLock();
  }
  if (Interactive) HidePleaseWait();
  DestroyMarkerWindow();
  ReportOutcome();
  return ExitCode;
}

}  // namespace
