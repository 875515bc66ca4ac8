// libFuzzer entry for whole install and removal runs on a simulated system
// whose CD-ROM class LowerFilters value, SharedDLLs count, service keys and
// installed driver file come from the input:
//   byte 0  family (bits 0-1: 1 NT 4, 2 Windows 9x, else Windows 2000) and
//           the actions (bits 2-4, the table kRuns)
//   byte 1  which service keys exist (bit n: kServiceNames[n])
//   byte 2  the installed driver (bits 0-2: kDriverStates), read-only (bit 3),
//           the legacy driver's file (bit 4), the debug log on (bit 5), so
//           that the lines quoting the value are written too
//   byte 3  the count value: its length 0-7 (bits 0-2; 0 = none), REG_BINARY
//           instead of REG_DWORD (bit 3), then that many bytes of data
//   next    the LowerFilters value: none (0), REG_MULTI_SZ (odd), REG_SZ
//           (even), its data the rest of the input
// Checked after every action: no action leaves a "VQD2K" filter entry
// without its driver file and service key where there was none such before;
// a successful install leaves the driver complete, a removal that deleted the
// driver leaves no entry; every foreign entry with a service key is kept; an
// install leaves a count of at least 1, a removal lowers it by one or
// deletes it; no extracted file stays in the temporary directory.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/runstate.h"
#include "fuzz_sim.h"
#include "package/payload.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"

namespace {

using Bytes = std::vector<uint8_t>;
enum class Step { Install, Remove, ForceRemove, Upgrade };
const std::vector<Step> kRuns[8] = {
    {Step::Install},
    {Step::Remove},
    {Step::ForceRemove},
    {Step::Install, Step::Remove},
    {Step::Install, Step::Install, Step::Remove, Step::Remove},
    {Step::Install, Step::ForceRemove},
    {Step::Upgrade, Step::Remove},
    {Step::Remove, Step::Install, Step::Remove},
};
const char* const kServiceNames[8] = {"VQD2K", "VQD", "IMAPI", "REDBOOK", "BREMCO2k", "BREMCO", "A", "vqd2"};
const char* const kDriverStates[8] = {nullptr, "ver_5_0_0_0.sys", "ver_5_1_26_0.sys", "ver_9_0_0_0.sys",
                                      "nover.sys", "garbage", "disabled", nullptr};
const std::string kServices = "SYSTEM\\CurrentControlSet\\Services\\";
const std::string kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kSys = "C:\\WINDOWS\\SYSTEM32";

Bytes Fixture(const std::string& name, bool vxd) {
  std::string file = name;
  if (vxd) file = name == "ver_5_0_0_0.sys" ? "meridax_4_0.vxd" : name == "ver_9_0_0_0.sys" ? "meridax_9_0.vxd"
                  : name == "ver_5_1_26_0.sys" ? "meridax.vxd" : name == "nover.sys" ? "zerolen.vxd" : name;
  std::ifstream in(std::string(VQD_FIXTURE_DIR) + "/" + file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "procedure_fuzz: fixture %s missing\n", file.c_str());
    std::abort();
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetValue(const std::string& path, const std::string& name, uint32_t type, const Bytes& data) {
  plat::RegKey key = 0;
  plat::RegCreateKeyA(plat::kHKeyLocalMachine, path, &key);
  plat::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  plat::RegCloseKey(key);
}

bool GetValue(const std::string& path, const std::string& name, Bytes* data) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(plat::kHKeyLocalMachine, path, &key) != 0) return false;
  uint32_t type = 0, size = 0;
  bool found = plat::RegQueryValueExA(key, name, &type, nullptr, &size) == 0;
  data->assign(size, 0);
  found = found && plat::RegQueryValueExA(key, name, &type, data->data(), &size) == 0;
  plat::RegCloseKey(key);
  return found;
}

bool KeyExists(const std::string& path) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(plat::kHKeyLocalMachine, path, &key) != 0) return false;
  plat::RegCloseKey(key);
  return true;
}

// The upper-cased entries of the LowerFilters value (none when it is missing).
std::vector<std::string> Entries() {
  Bytes data;
  std::vector<std::string> entries;
  if (!GetValue(CdromClassKey, "LowerFilters", &data)) return entries;
  std::string entry;
  for (uint8_t b : data) {
    if (b == 0) {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
    }
  }
  if (!entry.empty()) entries.push_back(entry);
  return entries;
}

// Entries that are neither ours nor the legacy driver's and have a service
// key, counted: no action may lose or add one. A name with a backslash is no
// service name (the list text splits it by design), though a registry path
// made with it may well open.
std::map<std::string, int> ForeignEntries() {
  std::map<std::string, int> foreign;
  for (const std::string& e : Entries())
    if (e != "VQD2K" && e != "BREMCO2K" && e.find('\\') == std::string::npos && KeyExists(kServices + e))
      ++foreign[e];
  return foreign;
}

// -1 when there is no count value.
long long Count(const std::string& driver) {
  Bytes data;
  if (!GetValue(kSharedDlls, driver, &data)) return -1;
  if (data.size() > 4) return 0;
  uint32_t v = 0;
  for (size_t i = 0; i < data.size(); ++i) v |= uint32_t(data[i]) << (8 * i);
  return v;
}

// A VQD2K filter entry whose driver cannot load: the file or the service key
// is missing, so Windows fails every CD-ROM drive.
bool BrokenFilter() {
  const auto entries = Entries();
  bool listed = std::find(entries.begin(), entries.end(), "VQD2K") != entries.end();
  return listed && (!sim::FileExists(kSys + "\\DRIVERS\\VQD2K.SYS") || !KeyExists(kServices + "VQD2K"));
}

bool TempDirHoldsFiles() {
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(TempDir + "\\*.*", &found);
  if (find == plat::kInvalidFind) return false;
  bool files = false;
  do files = files || !found.directory;
  while (plat::FindNextFileA(find, &found));
  plat::FindClose(find);
  return files;
}

void Carry(const std::string& name, const Bytes& bytes) {
  sim::AddResource(name, "DATA", bytes);
  sim::AddResource(name + "_DATE", "DATA", Bytes(24, 1));
}

size_t Take(const uint8_t*& data, size_t& size, size_t n) {
  n = std::min(n, size);
  data += n;
  size -= n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 1200) return 0;
  const uint8_t familyBits = data[0] & 3, runBits = (data[0] >> 2) & 7, services = data[1], driver = data[2],
                countBits = data[3];
  Take(data, size, 4);
  const Bytes count(data, data + std::min<size_t>(countBits & 7, size));
  Take(data, size, count.size());
  const int filterKind = size > 0 ? data[0] : 0;
  Take(data, size, 1);
  const Bytes filters(data, data + size);

  fuzz::FreshMachine("procedure");
  const bool nt4 = familyBits == 1, w9x = familyBits == 2, w2k = !nt4 && !w9x;
  if (nt4) sim::SetVersion(plat::kPlatformWin32NT, 4, 0, 1381);
  if (w9x) sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  InitLibrary();
  ResetRunState();
  Carry("DRIVEDB", Bytes{'R', 'E', 'G', 'E', 'D', 'I', 'T', '4', '\r', '\n'});
  Carry("VQD", Fixture("ver_5_1_26_0.sys", false));
  Carry("VQD2K", Fixture("ver_5_1_26_0.sys", false));
  Carry("MERIDAX", Fixture("meridax.vxd", true));
  Carry("VQD2KINF", Bytes{';', 'V', 'e', 'r', '=', '1', '\r', '\n'});
  Carry("VQD2KCAT", Bytes{'c', 'a', 't'});

  SetValue(CdromClassKey, "Class", plat::kRegSz, Bytes{'C', 'D', 'R', 'O', 'M', 0});
  for (int n = 0; n < 8; ++n)
    if (services & (1 << n)) SetValue(kServices + kServiceNames[n], "Type", plat::kRegDword, Bytes{1, 0, 0, 0});
  const std::string driverPath = kSys + (nt4 ? "\\DRIVERS\\VQD.SYS" : w2k ? "\\DRIVERS\\VQD2K.SYS" : "\\IOSUBSYS\\MERIDAX.VXD");
  const char* state = kDriverStates[driver & 7];
  if (state && std::string(state) == "garbage") {
    sim::WriteFile(driverPath, "MZ not a driver");
  } else if (state && std::string(state) == "disabled") {
    sim::WriteFile(driverPath.substr(0, driverPath.size() - 3) + "DIS", Fixture("ver_5_0_0_0.sys", w9x));
  } else if (state) {
    sim::WriteFile(driverPath, Fixture(state, w9x));
  }
  if (state && (driver & 8) && sim::FileExists(driverPath)) sim::SetFileAttributes(driverPath, true);
  if (driver & 16) {
    sim::WriteFile(kSys + (nt4 ? "\\DRIVERS\\BREMCO.SYS" : w2k ? "\\DRIVERS\\BREMCO2K.SYS" : "\\IOSUBSYS\\PLOVANT.VXD"),
                   "legacy");
  }
  if (countBits & 7) SetValue(kSharedDlls, driverPath, (countBits & 8) ? plat::kRegBinary : plat::kRegDword, count);
  if (filterKind) SetValue(CdromClassKey, "LowerFilters", (filterKind & 1) ? plat::kRegMultiSz : plat::kRegSz, filters);

  if (driver & 32) {
    DebugEnabled = true;
    OpenDebugLog();
  }
  TempDir = MakeTempDir();
  for (Step step : kRuns[runBits]) {
    const bool brokenBefore = BrokenFilter();
    const auto foreignBefore = ForeignEntries();
    const long long countBefore = Count(driverPath);
    const bool fileBefore = sim::FileExists(driverPath);
    bool result = false;
    if (step == Step::Install) result = nt4 ? InstNT() : w2k ? Inst2K() : Inst9x();
    if (step == Step::Remove || step == Step::ForceRemove) {
      const bool force = step == Step::ForceRemove;
      result = nt4 ? UnInstNT(force) : w2k ? UnInst2K(force) : UnInst9x(force);
    }
    if (step == Step::Upgrade) result = nt4 ? UpgradeNT(false) : w2k ? Upgrade2K(false) : Upgrade9x(false);
    (void)result;

    fuzz::Require(!TempDirHoldsFiles(), "no extracted file stays behind");
    if (w2k) {
      fuzz::Require(!BrokenFilter() || brokenBefore, "no action leaves a filter entry without its driver");
      fuzz::Require(ForeignEntries() == foreignBefore, "foreign filter entries are kept");
      if (step == Step::Install && sim::FileExists(driverPath) && KeyExists(kServices + "VQD2K"))
        fuzz::Require(!BrokenFilter(), "an installed driver is complete");
      if (step != Step::Install && step != Step::Upgrade && fileBefore && !sim::FileExists(driverPath)) {
        const auto entries = Entries();
        fuzz::Require(std::find(entries.begin(), entries.end(), "VQD2K") == entries.end(),
                      "a removed driver leaves no filter entry");
      }
    }
    const long long countAfter = Count(driverPath);
    if (step == Step::Install) {
      const bool inPlace = nt4 ? IsVQDInstalled() : w2k ? IsVQD2KInstalled() : IsVQD9Installed();
      fuzz::Require(!inPlace || countAfter >= 1, "an install that leaves the driver leaves a count");
      fuzz::Require(inPlace || countAfter == countBefore || (countBefore == 0 && countAfter == -1),
                    "an install that leaves no driver leaves the count as it was");
    }
    if (step == Step::Remove && countBefore > 0)
      fuzz::Require(countAfter == countBefore - 1 || countAfter == -1, "a removal lowers the count by one");
    if (step == Step::ForceRemove && countAfter != countBefore)
      fuzz::Require(countAfter == -1, "a forced removal deletes the count");
  }
  DeleteTempDir(TempDir);
  CloseDebugLog();
  fuzz::Require(!(driver & 32) || sim::FileExists("C:\\VQDINST.LOG"), "the debug log is written");
  return 0;
}
