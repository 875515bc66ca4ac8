// The simulated store of setup information files: SetupCopyOEMInfA copies an
// INF into the Windows "INF" folder as oemN.inf (the first free N, or the
// oemN.inf that already holds the same text) with its precompiled oemN.pnf,
// and the catalog its [Version] section names into the system's catalog
// root as oemN.cat.
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/direct.h"
#include "platform/sim/machine.h"

using namespace sim::internal;

namespace {

constexpr uint32_t ErrorFileInvalid = 1006;
constexpr uint32_t ErrorFileExists = 80;
constexpr uint32_t ErrorExpectedSectionName = 0xE0000100;  // not an INF of a known style
constexpr uint32_t SpCopyNoOverwrite = 0x8;
const char* const CatRoot = "\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

bool Refuse(uint32_t error) {
  M().lastError = error;
  return false;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The entries of the [Version] section, keys upper-cased, values without
// their quotes. False when the text has no such section.
bool ReadVersionSection(const std::string& text, std::map<std::string, std::string>* entries) {
  std::stringstream lines(text);
  std::string line;
  bool found = false, inVersion = false;
  while (std::getline(lines, line)) {
    line = Trim(line.substr(0, line.find(';')));
    if (line.empty()) continue;
    if (line[0] == '[') {
      inVersion = Upper(Trim(line.substr(1, line.find(']') - 1))) == "VERSION";
      found = found || inVersion;
      continue;
    }
    size_t eq = line.find('=');
    if (!inVersion || eq == std::string::npos) continue;
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    (*entries)[Upper(Trim(line.substr(0, eq)))] = value;
  }
  return found;
}

bool ReadText(const std::string& host, std::string* text) {
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Writes a file of the simulated disk (with its folders) at the current time.
void Store(const std::string& windowsPath, const std::string& contents) { sim::WriteFile(windowsPath, contents); }

}  // namespace

namespace plat {

bool direct::SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                              uint32_t oemSourceMediaType, uint32_t copyStyle) {
  (void)oemSourceMediaLocation;
  if (M().setupApiMissing) return Refuse(kErrorModNotFound);
  if (Failing("SetupCopyOEMInfA", sourceInfFileName)) return false;
  if (oemSourceMediaType > 2) return Refuse(kErrorInvalidParameter);  // SPOST_NONE, _PATH, _URL
  // Only a full path is looked for.
  const std::string& src = sourceInfFileName;
  bool full = (src.size() >= 3 && src[1] == ':' && src[2] == '\\') || src.compare(0, 2, "\\\\") == 0;
  std::string text;
  if (full && !IsDir(Parent(ToHost(src)))) return Refuse(kErrorPathNotFound);
  if (!full || !IsFile(ToHost(src)) || !ReadText(ToHost(src), &text)) return Refuse(kErrorFileNotFound);
  if (text.empty()) return Refuse(ErrorFileInvalid);
  std::map<std::string, std::string> version;
  if (!ReadVersionSection(text, &version)) return Refuse(ErrorExpectedSectionName);
  std::string signature = Upper(version["SIGNATURE"]);
  if (signature != "$WINDOWS NT$" && signature != "$CHICAGO$" && signature != "$WINDOWS 95$")
    return Refuse(ErrorExpectedSectionName);

  // The NT family prefers the catalog named for it.
  std::string catalog = version["CATALOGFILE"];
  if (M().version.platformId == kPlatformWin32NT) {
    for (const char* key : {"CATALOGFILE.NT", "CATALOGFILE.NTX86"})
      if (!version[key].empty()) catalog = version[key];
  }
  std::string sourceDir = FullPath(src);
  sourceDir = sourceDir.substr(0, sourceDir.rfind('\\'));
  std::string catalogText;
  if (!catalog.empty() && !ReadText(ToHost(sourceDir + "\\" + catalog), &catalogText))
    return Refuse(kErrorFileNotFound);

  // The same text stored before keeps its name; otherwise the first free one.
  std::string infDir = M().windowsDir + "\\INF";
  sim::MakeDirectory(infDir);
  for (int n = 0; !M().infArriving.empty(); ++n) {
    if (IsFile(ToHost(infDir + "\\oem" + std::to_string(n) + ".inf"))) continue;
    Store(infDir + "\\oem" + std::to_string(n) + ".inf", M().infArriving);
    M().infArriving.clear();
  }
  int slot = -1;
  for (int n = 0; slot < 0; ++n) {
    std::string host = ToHost(infDir + "\\oem" + std::to_string(n) + ".inf");
    std::string stored;
    if (!IsFile(host)) {
      slot = n;
    } else if (ReadText(host, &stored) && stored == text) {
      if (copyStyle & SpCopyNoOverwrite) return Refuse(ErrorFileExists);
      slot = n;
    }
  }
  std::string name = "oem" + std::to_string(slot);
  Store(infDir + "\\" + name + ".inf", text);
  Store(infDir + "\\" + name + ".pnf", "PNF\1" + FullPath(src) + '\0' + text);
  if (!catalog.empty()) Store(M().systemDir + CatRoot + "\\" + name + ".cat", catalogText);
  // A source held open without delete sharing stays; the caller is not told.
  bool held = false;
  for (const auto& open : M().files) held = held || open.second.key == TimeKey(src);
  if ((copyStyle & kSpCopyDeleteSource) && !held) {
    unlink(ToHost(src).c_str());
    M().times.erase(TimeKey(src));
  }
  return true;
}

// The .inf, its .pnf and its catalog go; a name that is not in the store is
// refused.
bool direct::SetupUninstallOEMInfA(const std::string& infFileName) {
  if (M().setupApiMissing || M().oemInfUninstallMissing) return Refuse(kErrorProcNotFound);
  if (Failing("SetupUninstallOEMInfA", infFileName)) return false;
  const std::string inf = M().windowsDir + "\\INF\\" + infFileName;
  if (infFileName.find('\\') != std::string::npos || !IsFile(ToHost(inf))) return Refuse(kErrorFileNotFound);
  const std::string base = infFileName.substr(0, infFileName.rfind('.'));
  for (const std::string& path : {inf, M().windowsDir + "\\INF\\" + base + ".pnf", M().systemDir + CatRoot + "\\" + base + ".cat"}) {
    unlink(ToHost(path).c_str());
    M().times.erase(TimeKey(path));
  }
  return true;
}

}  // namespace plat
