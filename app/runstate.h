// The run state: program-wide flags shared by the entry point, the dialogs
// and the outcome reporting. ResetRunState gives every one its start value.
#pragma once

#include <string>
#include <vector>

extern bool InstallSwitch;
extern bool RemoveSwitch;
extern bool ForceRemove;
extern bool UpgradeSwitch;
extern bool UpgradeOnlySwitch;
extern bool EnableSwitch;
extern bool DisableSwitch;
extern bool Overwrite;
extern bool CheckSwitch;
extern bool SanityOK;
extern bool ManifestSwitch;
extern bool UnpackSwitch;
extern bool RestartSwitch;
extern bool HelpSwitch;
extern bool NotifyFile;
extern bool NotifyReg;
extern bool NoFlag;
extern bool AskReboot;
extern bool NoReboot;
extern bool Interactive;
extern bool RebootNeeded;
extern bool RestartNeedsReboot;
extern bool EnableResult;
// An action did not do what it was asked: an install or upgrade left the
// driver not installed and enabled, or a removal that was due left it
// registered. The run then exits with 13.
extern bool ActionFailed;
extern std::string PayloadVersion;
extern std::string InstalledVersion;
extern int ExitCode;
// The switches of the command line the run knows, upper-cased, each once, in
// their order ("/INSTALL", "/DEBUG").
extern std::vector<std::string> ActedSwitches;

void ResetRunState();
