#include "app/dialogs/interactive.h"

#include "app/actions.h"

#include "app/dialogs/mainform.h"
#include "app/dialogs/scaling.h"
#include "app/dialogs/waitform.h"
#include "app/mainflow.h"
#include "app/runstate.h"
#include "package/payload.h"
#include "package/version.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/enable.h"
#include "vqdlib/family.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

#ifndef VQDINST_SUPPORT_HOST
#define VQDINST_SUPPORT_HOST "support.vqdinst.example"
#endif

const char* const SupportHost = VQDINST_SUPPORT_HOST;

namespace {

// The installed driver under its active name or its disabled one.
std::string InstalledDriverPath(bool disabled) {
  return disabled ? DisabledDriverPath(RunningFamily()) : ActiveDriverPath(RunningFamily());
}

void HideLinePieces() {
  for (plat::WindowHandle h : {Form1.Label3, Form1.Label4, Form1.Label6, Form1.Label8, Form1.Label9,
                               Form1.Label7, Form1.Label10, Form1.Label11, Form1.Label12,
                               Form1.Button5})
    plat::ShowWindow(h, false);
}

void Show(std::initializer_list<plat::WindowHandle> labels) {
  for (plat::WindowHandle h : labels) plat::ShowWindow(h, true);
}

// Sets `piece`'s text and places it after `before` on the same line.
void Continue(plat::WindowHandle piece, plat::WindowHandle before, const std::string& text) {
  SetLabelText(piece, text);
  PlaceAfter(piece, before);
}

// What the dialog finds of a counted driver. Disabled is what a disable
// leaves: the file under its ".DIS" name only. A driver that is there but
// does not load (its filter entry or service key lost) is not active:
// enabling has nothing to move, Update registers it again.
enum class DriverState { Enabled, Disabled, NotActive };

DriverState CountedDriverState() {
  if (IsDriverInstalled()) return DriverState::Enabled;
  if (!FileFound(InstalledDriverPath(false)) && FileFound(InstalledDriverPath(true))) return DriverState::Disabled;
  return DriverState::NotActive;
}

void InstalledTexts() {
  plat::ShowWindow(Form1.Button5, true);
  plat::SetWindowTextA(Form1.Button2, "Upgrade");
  plat::EnableWindow(Form1.Button1, true);
  plat::EnableWindow(Form1.Button2, true);
  plat::EnableWindow(Form1.Button4, true);
  switch (CountedDriverState()) {
    case DriverState::Enabled:
      InstalledVersion = ActiveDriverVersion();
      UpgradeSwitch = true;
      SetLabelText(Form1.Label6, "enabled.");
      plat::SetWindowTextA(Form1.Button4, "Disable VQD Driver");
      Form1.Button4Tag = 1;
      break;
    case DriverState::Disabled:
      InstalledVersion = DisabledDriverVersion();
      SetLabelText(Form1.Label6, "disabled.");
      plat::SetWindowTextA(Form1.Button4, "Enable VQD Driver");
      Form1.Button4Tag = 0;
      break;
    case DriverState::NotActive:
      InstalledVersion = ActiveDriverVersion();
      SetLabelText(Form1.Label6, "not active.");
      plat::SetWindowTextA(Form1.Button4, "Enable VQD Driver");
      plat::EnableWindow(Form1.Button4, false);
      Form1.Button4Tag = 0;
      break;
  }
  SetLabelText(Form1.Label2, "This system contains version ");
  Continue(Form1.Label3, Form1.Label2, InstalledVersion);
  Continue(Form1.Label4, Form1.Label3, " of the VQD driver and it is ");
  PlaceAfter(Form1.Label6, Form1.Label4);
  Show({Form1.Label3, Form1.Label4, Form1.Label6});

  if (VerANewer(PayloadVersion, InstalledVersion)) {
    SetLabelText(Form1.Label1, "This installer will upgrade the VQD driver to version ");
    Continue(Form1.Label8, Form1.Label1, PayloadVersion);
    Continue(Form1.Label9, Form1.Label8, ".");
    Show({Form1.Label8, Form1.Label9});
    return;
  }
  Overwrite = true;
  plat::SetWindowTextA(Form1.Button2, "Overwrite");
  SetLabelText(Form1.Label1, "This installer ");
  Continue(Form1.Label10, Form1.Label1, "will not");
  Continue(Form1.Label9, Form1.Label10, " upgrade VQD, it contains version");
  SetLabelText(Form1.Label8, PayloadVersion);
  PlaceBelow(Form1.Label8, Form1.Label1);
  Continue(Form1.Label11, Form1.Label8, " which is the same or older than the one already");
  SetLabelText(Form1.Label12, "installed.");
  PlaceBelow(Form1.Label12, Form1.Label8);
  Show({Form1.Label10, Form1.Label9, Form1.Label8, Form1.Label11, Form1.Label12});
}

void NotInstalledTexts() {
  SetLabelText(Form1.Label2, "This system ");
  Continue(Form1.Label3, Form1.Label2, "does not");
  Continue(Form1.Label4, Form1.Label3, " contain the VQD driver.");
  Show({Form1.Label3, Form1.Label4});
  plat::SetWindowTextA(Form1.Button2, "Install");
  plat::EnableWindow(Form1.Button1, false);
  plat::EnableWindow(Form1.Button4, false);
  SetLabelText(Form1.Label1, "This installer will install the VQD driver, version ");
  Continue(Form1.Label6, Form1.Label1, PayloadVersion);
  Continue(Form1.Label9, Form1.Label6, ".");
  Show({Form1.Label6, Form1.Label9});
}

// Update and Remove: the dialog goes, the please-wait window stays up until
// the main sequence has run the action.
void HandOver(const std::string& waitText) {
  Interactive = true;
  ShowPleaseWait(plat::GetWindowTextA(Form1.Handle), waitText);
}

void ChooseUpdate() {
  // The text follows the button the user pressed: "Install" installs (also
  // a driver found without a count, which the upgrade below adopts), every
  // other label upgrades, a disabled driver's too.
  const bool installing = plat::GetWindowTextA(Form1.Button2) == "Install";
  // A counted driver, disabled or not, is upgraded: installing it would
  // count this product a second time.
  if (IsDriverInstalled() || GetInstallCount() != 0) {
    UpgradeSwitch = true;
  } else {
    InstallSwitch = true;
  }
  if (Overwrite) {
    UpgradeSwitch = true;
    InstallSwitch = false;
  }
  HandOver(installing ? "Please wait while the driver is installed." : "Please wait while the driver is upgraded.");
  RemoveSwitch = false;
  NoFlag = true;
  if (Is2K) NoReboot = true;
  AskReboot = true;
}

void ChooseRemove() {
  HandOver("Please wait while the driver is removed.");
  InstallSwitch = false;
  UpgradeSwitch = false;
  RemoveSwitch = true;
  ForceRemove = true;
  NoFlag = true;
  if (Is2K) NoReboot = true;
  AskReboot = true;
}

void EnableOrDisable() {
  std::string caption = plat::GetWindowTextA(Form1.Handle);
  bool enabling = Form1.Button4Tag == 0;
  ShowPleaseWait(caption, enabling ? "Please wait while the driver is enabled."
                                   : "Please wait while the driver is disabled.");
  EnableResult = EnableOrDisableFromDialog(enabling);
  HidePleaseWait();
  // The box tells what the system now holds, not what the rename answered.
  const char* const state = enabling ? "enabled." : "disabled.";
  if (CountedDriverState() != (enabling ? DriverState::Enabled : DriverState::Disabled)) {
    plat::MessageBoxA(std::string("Operation failed. The VQD driver has not been ") + state, "VQD Utility",
                      plat::kMbOk);
  } else if (EnableResult) {
    if (plat::MessageBoxA(
            "Operation complete. You need to reboot for the changes to take effect.\r\rReboot now?",
            caption, plat::kMbYesNo) == plat::kIdYes)
      RebootSystem();
  } else {
    plat::MessageBoxA(std::string("Operation complete. The VQD driver has been ") + state, "VQD Utility",
                      plat::kMbOk);
  }
}

}  // namespace

std::string PayloadDriverVersion() {
  TempDir = MakeTempDir();
  if (TempDir.empty()) return "";
  // Every carried driver is written; only the running family's, when this
  // run wrote it, is read.
  const Family& running = RunningFamily();
  bool written = false;
  for (const Family* family : {&FamilyNT, &Family2K, &Family9x}) {
    bool wrote = ResourceToFile(family->driver.resource, TempDir + "\\" + family->driver.fileName);
    if (family == &running) written = wrote;
  }
  std::string version = written ? GetFileVersion(TempDir + "\\" + running.driver.fileName) : "";
  DeleteTempDir(TempDir);
  return version;
}

std::string ActiveDriverVersion() { return GetFileVersion(InstalledDriverPath(false)); }

std::string DisabledDriverVersion() { return GetFileVersion(InstalledDriverPath(true)); }

bool RunInteractiveMode() {
  int dpi = plat::GetScreenDpi();
  if (!CreateForm1(dpi) || !CreateForm3(dpi)) {
    // Without a desktop there is nobody to ask.
    DestroyMarkerWindow();
    return false;
  }
  // A 64-bit Windows is refused too: the driver would not load there, and as
  // a CD-ROM class filter it would stop every CD-ROM drive.
  if (UnsupportedOS || IsWow64) {
    plat::MessageBoxA(Form1.Handle,
                      std::string("Your operating system is unsupported at this time. Please watch ") +
                          SupportHost + " for updates.",
                      "VQDINST", plat::kMbOk | plat::kMbIconWarning);
    DestroyMarkerWindow();
    return false;
  }
  plat::SetWindowTextA(Form1.Handle, "VQD Driver Installation Utility - " +
                                         GetFileVersion(plat::GetModuleFileNameA()));
  for (;;) {
    HideLinePieces();
    PayloadVersion = PayloadDriverVersion();
    if (GetInstallCount() != 0) {
      InstalledTexts();
    } else {
      NotInstalledTexts();
    }
    switch (ShowForm1Modal()) {
      case kResultUpdate:
        ChooseUpdate();
        return true;
      case kResultRemove:
        ChooseRemove();
        return true;
      case kResultEnableDisable:
        EnableOrDisable();
        break;
      case kResultDebugLog:
        DebugEnabled = true;
        plat::MessageBoxA("Debug log enabled.", "VQDINST", plat::kMbOk);
        break;
      default:
        DestroyMarkerWindow();
        return false;
    }
  }
}
