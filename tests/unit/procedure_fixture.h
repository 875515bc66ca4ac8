// A simulated machine of one Windows family with the carried files as
// resources of the program image, and readers of what an action leaves
// behind: the driver files, the registry, the install count, the INF store.
#pragma once

#include "package/payload.h"
#include "sim_fixture.h"
#include "vqdlib/registry.h"

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

enum class Fam { NT, W2K, W9x };
inline const char* Name(Fam f) { return f == Fam::NT ? "NT" : f == Fam::W2K ? "2K" : "9x"; }

const std::string kAspi = "SYSTEM\\CurrentControlSet\\Services\\Aspi32\\Parameters";
const std::string kDrivers = "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\";
const std::string kIosubsys = "C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\";
const std::string kInf =
    "; VQD2K.INF\r\n;Ver=5.2.30.0\r\n\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=CDROM\r\n"
    "CatalogFile=VQD2K.CAT\r\n";
const std::string kDriveDb =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velcordia\\PALV\\DriveDB]\r\n@=\"1.0.3.40\"\r\n"
    "\"ACME CDR\"=\"1\"\r\n";

class ProcedureTest : public SimTest {
 protected:
  // Fresh machine of the family with the carried payload (drivers 5.1.26.0,
  // VxD 4.10.0.2222). For a procedure on its own, the log is started and the
  // private temporary directory made, as the entry point does before it.
  void Machine(Fam f, bool forProcedure = true) {
    CloseDebugLog();
    DebugEnabled = DebugLogOpen = false;
    sim::Reset(root_);
    family_ = f;
    if (f == Fam::NT) sim::SetVersion(plat::kPlatformWin32NT, 4, 0, 1381);
    if (f == Fam::W2K) sim::SetVersion(plat::kPlatformWin32NT, 5, 0, 2195);
    if (f == Fam::W9x) sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
    InitLibrary();
    // The CD-ROM class key every Windows 2000 has.
    reg::SetValue(CdromClassKey, "Class", plat::kRegSz, B(std::string("CDROM") + '\0'));
    Carry("DRIVEDB", B(kDriveDb));
    Carry("VQD", carriedDriver_.empty() ? Fixture("ver_5_1_26_0.sys") : carriedDriver_);
    Carry("VQD2K", carriedDriver_.empty() ? Fixture("ver_5_1_26_0.sys") : carriedDriver_);
    Carry("MERIDAX", carriedDriver_.empty() ? Fixture("meridax.vxd") : carriedDriver_);
    Carry("VQD2KINF", B(kInf));
    Carry("VQD2KCAT", B("catalog"));
    if (!forProcedure) return;
    StartLog();
    TempDir = MakeTempDir();
  }
  static void Carry(const std::string& name, const Bytes& bytes) {
    sim::AddResource(name, "DATA", bytes);
    sim::AddResource(name + "_DATE", "DATA", Bytes(24, 1));
  }

  std::string DriverPath() const {
    return family_ == Fam::NT ? kDrivers + "VQD.SYS" : family_ == Fam::W2K ? kDrivers + "VQD2K.SYS"
                                                                          : kIosubsys + "MERIDAX.VXD";
  }
  std::string DisabledPath() const { return DriverPath().substr(0, DriverPath().size() - 3) + "DIS"; }
  std::string ServiceName() const { return family_ == Fam::NT ? "VQD" : "VQD2K"; }
  // The carried driver of the family, and copies older and newer than it.
  Bytes Carried() const { return family_ == Fam::W9x ? Fixture("meridax.vxd") : Fixture("ver_5_1_26_0.sys"); }
  Bytes Older() const { return family_ == Fam::W9x ? Fixture("meridax_4_0.vxd") : Fixture("ver_5_0_0_0.sys"); }
  Bytes Newer() const { return family_ == Fam::W9x ? Fixture("meridax_9_0.vxd") : Fixture("ver_9_0_0_0.sys"); }

  // The driver as a finished installation leaves it: file, service key,
  // filter entry, count.
  void Installed(const Bytes& file, uint32_t count) {
    sim::WriteFile(DriverPath(), file);
    if (family_ != Fam::W9x) reg::SetValue(kServices + ServiceName(), "Type", plat::kRegDword, {1, 0, 0, 0});
    if (family_ == Fam::W2K) reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, B(std::string("VQD2K\0\0", 7)));
    if (count) SetCount(count);
  }
  void SetCount(uint32_t count) {
    reg::SetValue(kSharedDlls, DriverPath(), plat::kRegDword,
                  {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)});
  }
  // -1 when there is no count value.
  long long Count() const {
    Bytes data;
    if (!reg::GetValue(kSharedDlls, DriverPath(), &data)) return -1;
    uint32_t v = 0;
    for (size_t i = 0; i < data.size() && i < 4; ++i) v |= uint32_t(data[i]) << (8 * i);
    return v;
  }
  bool DriverIs(const Bytes& bytes) const {
    return sim::FileExists(DriverPath()) && sim::ReadFile(DriverPath()) == std::string(bytes.begin(), bytes.end());
  }
  bool ServiceKey() const { return reg::KeyExists(plat::kHKeyLocalMachine, kServices + ServiceName()); }
  std::string Filters() const {
    Bytes data;
    if (!reg::GetValue(CdromClassKey, "LowerFilters", &data)) return "<none>";
    return std::string(data.begin(), data.end());
  }
  // How many copies of the carried INF the system's store holds, found by
  // their content.
  static int InfCopies() {
    int copies = 0;
    plat::FindData found;
    plat::FindHandle find = plat::FindFirstFileA("C:\\WINDOWS\\INF\\*.*", &found);
    if (find == plat::kInvalidFind) return 0;
    do {
      if (!found.directory && sim::ReadFile("C:\\WINDOWS\\INF\\" + found.name) == kInf) ++copies;
    } while (plat::FindNextFileA(find, &found));
    plat::FindClose(find);
    return copies;
  }
  static bool DriveDb() { return reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\Velcordia\\PALV\\DriveDB"); }
  // The extracted files are gone again; only the directory stays.
  static bool TempDirEmpty() {
    plat::FindData found;
    plat::FindHandle find = plat::FindFirstFileA(TempDir + "\\*.*", &found);
    if (find == plat::kInvalidFind) return true;
    bool empty = true;
    do empty = empty && found.directory;
    while (plat::FindNextFileA(find, &found));
    plat::FindClose(find);
    return empty;
  }
  // The log lines that start with one of the prefixes, in order.
  static Lines LinesOf(std::initializer_list<std::string> prefixes) {
    Lines out;
    for (const std::string& line : LogLines())
      for (const std::string& p : prefixes)
        if (line.compare(0, p.size(), p) == 0) {
          out.push_back(line);
          break;
        }
    return out;
  }

  // The driver as "/DISABLE" leaves it: renamed, unregistered, still counted.
  void Disabled(uint32_t count) {
    sim::WriteFile(DisabledPath(), Carried());
    SetCount(count);
  }

  Fam family_ = Fam::W2K;
  Bytes carriedDriver_;  // the carried driver of every family, when set
};
