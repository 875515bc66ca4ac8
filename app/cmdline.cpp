#include "app/cmdline.h"

#include <algorithm>

#include "app/runstate.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  size_t i = 0;
  bool first = true;
  while (i < commandLine.size()) {
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= commandLine.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
      char c = commandLine[i];
      if (c == '"') {
        quoted = !quoted;
      } else if ((c == ' ' || c == '\t') && !quoted) {
        break;
      } else {
        word += c;
      }
    }
    if (!first) words.push_back(word);
    first = false;
  }
  return words;
}

void ReadArguments(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    std::string s = UpperCase(arg);
    if (s == "/INSTALL") {
      InstallSwitch = true;
    } else if (s == "/REMOVE") {
      RemoveSwitch = true;
    } else if (s == "/FORCEREMOVE") {
      RemoveSwitch = true;
      ForceRemove = true;
    } else if (s == "/DEBUG") {
      DebugEnabled = true;
    } else if (s == "/UNPACK") {
      UnpackSwitch = true;
    } else if (s == "/MANIFEST") {
      ManifestSwitch = true;
    } else if (s == "/CHECK") {
      CheckSwitch = true;
    } else if (s == "/NOTIFYFILE") {
      NotifyFile = true;
    } else if (s == "/NOTIFYREG") {
      NotifyReg = true;
    } else if (s == "/UPGRADE") {
      UpgradeSwitch = true;
    } else if (s == "/UPGRADEONLY") {
      UpgradeOnlySwitch = true;
    } else if (s == "/ASKREBOOT") {
      AskReboot = true;
    } else if (s == "/NOREBOOT") {
      NoReboot = true;
    } else if (s == "/NOFLAG") {
      NoFlag = true;
    } else if (s == "/RESTART") {
      RestartSwitch = true;
    } else if (s == "/DISABLE") {
      DisableSwitch = true;
    } else if (s == "/ENABLE") {
      EnableSwitch = true;
    } else if (s == "/OVERWRITE") {
      Overwrite = true;
    } else if (s == "/LH") {
      UnsupportedOS = false;
    } else if (s == "/HELP" || s == "/?" || s == "/H") {
      HelpSwitch = true;
    } else {
      continue;
    }
    // Each switch once: a line as long as the command line would block a
    // caller that reads its pipe only after the exit.
    if (std::find(ActedSwitches.begin(), ActedSwitches.end(), s) == ActedSwitches.end()) ActedSwitches.push_back(s);
  }
}

void NormaliseNotifyFlags() {
  if (NotifyReg) NotifyFile = false;
  if (AskReboot) {
    NotifyFile = false;
    NotifyReg = false;
  }
}

std::string HelpText() {
  static const char* const lines[] = {
      "Command line parameters:",
      "  /INSTALL - Installs VQD drivers (updates too)",
      "  /REMOVE - Removes VQD drivers (depending on reference count)",
      "  /UPGRADE - Updates and/or installs VQD drivers if VQD is installed.  Doesn't change ref. ct.",
      "  /UPGRADEONLY - Updates VQD drivers only if VQD is installed. Doesn't change ref. ct.",
      "  /FORCEREMOVE - Removes VQD drivers (regardless of reference count)",
      "  /DISABLE - Disables the driver (doesn't affect ref. ct.)",
      "  /ENABLE - Enables the driver (doesn't affect ref. ct.)",
      "  /CHECK - Does a sanity check of the system and verifies that the drivers",
      "    are installed correctly.  If not it creates a BADINST.TXT file",
      "    in the directory VQDINST is run from.",
      "  /DEBUG - Creates debug log file (<systemdrive>\\VQDINST.LOG)",
      "  /UNPACK - Unpacks archive files to current directory",
      "  /MANIFEST - Creates a manifest file (VQDINST.MFT) for all the files in the",
      "    archive (to the current directory)",
      "  /NOTIFYFILE - Notifies reboot or badinst conditions via file creation",
      "  /NOTIFYREG - Notifies reboot or badinst conditions via reg key creation",
      "  /ASKREBOOT - Asks the user if they want to reboot the system if changes were made",
      "  /NOREBOOT - Use the no-reboot code under Win2K,WinXP",
      "  /NOFLAG - Disable file and registry flag creation",
      "  /HELP /H or /? - Display command line options",
  };
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += '\r';
    text += line;
  }
  return text;
}

void ShowHelp() {
  // A box nobody can see would wait for ever (a service, a deployment tool).
  if (!plat::IsWindowStationVisible()) {
    DebugLog("HELP: Window station not visible - no help box");
    return;
  }
  plat::MessageBoxA(HelpText(), "VQDINST " + GetFileVersion(plat::GetModuleFileNameA()), plat::kMbOk);
}
