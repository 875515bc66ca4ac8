#include "app/flags.h"

#include <exception>

#include "app/runstate.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/enable.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"
#include "vqdlib/textfile.h"

const char* const FlagKey = "Software\\Velcordia\\VQDINST";

namespace {

const char* const ErrorText = "There was an error installing/removing the VQD driver.";
const char* const RebootQuestion = " You need to reboot your computer for the changes to take effect.\r\rReboot Now?";

// What the dialog asked for is on the system: after Update the driver is
// installed and enabled, after Remove nothing is left that loads it.
bool ActionTookEffect() { return RemoveSwitch ? !IsDriverRegistered() : IsDriverInstalled(); }

}  // namespace

void CreateFlagFile(const std::string& name) {
  if (NoFlag) return;
  DebugLog("CFF: " + name);
  // The current directory is the caller's, perhaps one others can write: a
  // link planted at the name is deleted, not written through.
  plat::FileHandle file = CreateFileAnew(name + ".txt", plat::Access::Write);
  if (file == plat::kInvalidFile) return;
  DebugLog("CFF: File created");
  uint32_t written = 0;
  plat::WriteFile(file, name.data(), static_cast<uint32_t>(name.size()), &written);
  plat::CloseHandle(file);
}

void CreateRegFlag(const std::string& name) {
  if (NoFlag) return;
  DebugLog("CRF");
  plat::RegKey key = 0;
  if (plat::RegCreateKeyExA(plat::kHKeyCurrentUser, FlagKey, plat::kKeyAllAccess, &key) != 0) return;
  DebugLog("CRF: Opened key");
  const uint8_t* data = reinterpret_cast<const uint8_t*>(name.c_str());
  if (plat::RegSetValueExA(key, name, plat::kRegSz, data, static_cast<uint32_t>(name.size() + 1)) == 0)
    DebugLog("CRF: Reg flag created");
  plat::RegCloseKey(key);
}

// Both deletions run at start-up, before the run's guard: one that fails,
// also for want of memory, is ignored and the run goes on.
void DeleteFlagFile(const std::string& name) {
  try {
    DebugLog("DFF: " + name);
    // A link another user planted at the name is left alone (and the flag
    // is then not created either).
    DeleteFileUnlessLink(name + ".txt");
  } catch (const std::exception&) {
  }
}

void DeleteRegFlag() {
  try {
    DebugLog("DRF");
    plat::RegDeleteKeyA(plat::kHKeyCurrentUser, FlagKey);
  } catch (const std::exception&) {
  }
}

void RebootPrompt(bool installed) {
  std::string text = installed ? "Installation complete." : "Uninstallation complete.";
  text += RebootQuestion;
  if (plat::MessageBoxA(text, "VQDINST", plat::kMbYesNo) == plat::kIdYes) RebootSystem();
}

bool RebootQuestionUnseen() {
  if (!AskReboot || !RebootNeeded || plat::IsWindowStationVisible()) return false;
  DebugLog("ORP: Window station not visible - reboot not asked");
  return true;
}

void ReportOutcome() {
  if (CheckSwitch) {
    if (SanityOK) {
      ExitCode = 11;
    } else {
      if (NotifyFile) CreateFlagFile("badinst");
      if (NotifyReg) CreateRegFlag("badinst");
      ExitCode = 10;
    }
  }
  // After the check, so that a needed reboot wins over 10 and 11.
  if (RebootNeeded) {
    if (NotifyFile) CreateFlagFile("reboot");
    if (NotifyReg) CreateRegFlag("reboot");
    ExitCode = 6;
  }
  const bool anyAction = InstallSwitch || UpgradeSwitch || UpgradeOnlySwitch || RemoveSwitch;
  // A run tells what its action left on the system, whatever the procedures
  // and the restart answered: never that it is complete when it is not. The
  // dialog's run looks at the system itself.
  const bool failed = ActionFailed || (Interactive && anyAction && !ActionTookEffect());
  if (AskReboot && RebootNeeded) {
    ExitCode = 6;
    // Nobody can see the question: the run goes on as after No.
    if (RebootQuestionUnseen()) {
      // nothing asked
    } else if (failed) {
      if (plat::MessageBoxA(std::string(ErrorText) + RebootQuestion, "VQDINST", plat::kMbYesNo) == plat::kIdYes)
        RebootSystem();
    } else {
      RebootPrompt(!RemoveSwitch);
    }
  }
  // An action that did not do what it was asked wins over every other code;
  // the flags above still tell of the reboot and the check.
  if (ActionFailed) ExitCode = 13;
  if (Is2K && Interactive && NoReboot && !RebootNeeded && anyAction && !failed)
    plat::MessageBoxA("VQD driver installation complete.", "VQDINST", plat::kMbOk);
  // On NT 4 and 9x every change needs a reboot: a run without one changed
  // nothing. An action that did not take effect is an error on every family.
  if ((!Is2K || failed) && Interactive && !RebootNeeded && anyAction)
    plat::MessageBoxA(ErrorText, "VQDINST", plat::kMbOk);
}
