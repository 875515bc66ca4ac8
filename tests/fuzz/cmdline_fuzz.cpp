// libFuzzer entry for the command line: any bytes as the whole command line
// (program name first), split into arguments, read into the run state and
// normalised. Checked: quotes never reach an argument, a command line without
// quotes splits at blanks and tabs only, each flag is set exactly when its
// switch is among the arguments (upper-casing only a-z), the order and
// repetition of arguments do not matter, and the notification flags come out
// as the switches rule.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/runstate.h"
#include "fuzz_sim.h"
#include "vqdlib/debuglog.h"

namespace {

struct Flags {
  bool install, remove, force, debug, unpack, manifest, check, notifyFile, notifyReg, upgrade, upgradeOnly,
      askReboot, noReboot, noFlag, restart, disable, enable, overwrite, unsupported, help;
  bool operator==(const Flags& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
static_assert(sizeof(Flags) == 20, "only the flags, without padding");

Flags Read(const std::vector<std::string>& args) {
  ResetRunState();
  DebugEnabled = false;
  UnsupportedOS = true;  // so that "/LH" shows
  ReadArguments(args);
  NormaliseNotifyFlags();
  return Flags{InstallSwitch, RemoveSwitch, ForceRemove, DebugEnabled, UnpackSwitch, ManifestSwitch, CheckSwitch,
               NotifyFile, NotifyReg, UpgradeSwitch, UpgradeOnlySwitch, AskReboot, NoReboot, NoFlag,
               RestartSwitch, DisableSwitch, EnableSwitch, Overwrite, UnsupportedOS, HelpSwitch};
}

std::string UpperAZ(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// The words of a command line without quotes, the program name dropped.
std::vector<std::string> PlainWords(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while ((at = line.find_first_not_of(" \t", at)) != std::string::npos) {
    size_t end = std::min(line.find_first_of(" \t", at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  if (!words.empty()) words.erase(words.begin());
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line = fuzz::Text(data, size);
  const std::vector<std::string> args = SplitCommandLine(line);
  for (const std::string& arg : args) fuzz::Require(arg.find('"') == std::string::npos, "no quote in an argument");
  if (line.find('"') == std::string::npos) fuzz::Require(args == PlainWords(line), "plain words split at blanks");

  const Flags flags = Read(args);
  auto given = [&](std::initializer_list<const char*> switches) {
    for (const std::string& arg : args)
      for (const char* s : switches)
        if (UpperAZ(arg) == s) return true;
    return false;
  };
  const bool askReboot = given({"/ASKREBOOT"}), notifyReg = given({"/NOTIFYREG"});
  const Flags expected{given({"/INSTALL"}), given({"/REMOVE", "/FORCEREMOVE"}), given({"/FORCEREMOVE"}),
                       given({"/DEBUG"}), given({"/UNPACK"}), given({"/MANIFEST"}), given({"/CHECK"}),
                       !askReboot && !notifyReg, !askReboot && notifyReg, given({"/UPGRADE"}),
                       given({"/UPGRADEONLY"}), askReboot, given({"/NOREBOOT"}), given({"/NOFLAG"}),
                       given({"/RESTART"}), given({"/DISABLE"}), given({"/ENABLE"}), given({"/OVERWRITE"}),
                       !given({"/LH"}), given({"/HELP", "/H", "/?"})};
  fuzz::Require(flags == expected, "each flag is set exactly by its switches");

  std::vector<std::string> reordered(args.rbegin(), args.rend());
  reordered.insert(reordered.end(), args.begin(), args.end());
  fuzz::Require(Read(reordered) == flags, "order and repetition do not matter");
  return 0;
}
