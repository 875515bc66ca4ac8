#include "app/runstate.h"

#include "app/runlock.h"

#include "package/payload.h"

bool InstallSwitch, RemoveSwitch, ForceRemove, UpgradeSwitch, UpgradeOnlySwitch, EnableSwitch, DisableSwitch;
bool Overwrite, CheckSwitch, SanityOK, ManifestSwitch, UnpackSwitch, RestartSwitch, HelpSwitch;
bool NotifyFile, NotifyReg, NoFlag, AskReboot, NoReboot, Interactive;
bool RebootNeeded, RestartNeedsReboot, EnableResult, ActionFailed;
std::string PayloadVersion, InstalledVersion;
int ExitCode;
std::vector<std::string> ActedSwitches;

void ResetRunState() {
  ResetRunLock();
  ActedSwitches.clear();
  InstallSwitch = RemoveSwitch = ForceRemove = UpgradeSwitch = UpgradeOnlySwitch = false;
  EnableSwitch = DisableSwitch = Overwrite = CheckSwitch = false;
  SanityOK = true;
  ManifestSwitch = UnpackSwitch = RestartSwitch = HelpSwitch = false;
  NotifyFile = true;
  NotifyReg = NoFlag = AskReboot = NoReboot = Interactive = false;
  RebootNeeded = false;
  RestartNeedsReboot = true;
  EnableResult = false;
  ActionFailed = false;
  TempDir.clear();
  PayloadVersion.clear();
  InstalledVersion.clear();
}
