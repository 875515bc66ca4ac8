// In-process cost of the program's work on the simulated Windows (Google
// Benchmark; bench/run.sh builds it with -DVQD_BENCH=ON, without sanitizers):
// a whole "/INSTALL" and "/REMOVE" run on Windows 2000, and the edits of the
// CD-ROM class LowerFilters on a list that fills the 1025 bytes read of it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/mainflow.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FixtureFile(const std::string& name) {
  std::ifstream in(std::string(VQD_FIXTURE_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

void SetValue(const std::string& path, const std::string& name, uint32_t type, const Bytes& data) {
  plat::RegKey key = 0;
  plat::RegCreateKeyA(plat::kHKeyLocalMachine, path, &key);
  plat::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  plat::RegCloseKey(key);
}

std::string StoredFilters() {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key) != 0) return "";
  std::vector<uint8_t> data(4096);
  uint32_t type = 0, size = static_cast<uint32_t>(data.size());
  long rc = plat::RegQueryValueExA(key, "LowerFilters", &type, data.data(), &size);
  plat::RegCloseKey(key);
  return rc == 0 ? std::string(data.begin(), data.begin() + size) : "";
}

// A fresh Windows 2000 with the sample payload carried by the program.
class Machine {
 public:
  Machine() : root_((std::filesystem::temp_directory_path() / ("vqdbench-" + std::to_string(getpid()))).string()) {
    sim::Reset(root_);
    sim::SetVersion(plat::kPlatformWin32NT, 5, 0, 2195);
    InitLibrary();
    SetValue(CdromClassKey, "Class", plat::kRegSz, B(std::string("CDROM") + '\0'));
    Bytes driver = FixtureFile("ver_5_1_26_0.sys");
    Carry("DRIVEDB", B("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velcordia\\PALV\\DriveDB]\r\n"
                       "@=\"1.0.3.40\"\r\n\"ACME CDR\"=\"1\"\r\n"));
    Carry("VQD", driver);
    Carry("VQD2K", driver);
    Carry("MERIDAX", FixtureFile("meridax.vxd"));
    Carry("VQD2KINF", B("; VQD2K.INF\r\n;Ver=5.2.30.0\r\n\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n"
                        "Class=CDROM\r\nCatalogFile=VQD2K.CAT\r\n"));
    Carry("VQD2KCAT", B("catalog"));
    ok_ = !driver.empty();
  }
  ~Machine() { std::filesystem::remove_all(root_); }
  bool ok() const { return ok_; }

 private:
  static void Carry(const std::string& name, const Bytes& bytes) {
    sim::AddResource(name, "DATA", bytes);
    sim::AddResource(name + "_DATE", "DATA", Bytes(24, 1));
  }
  std::string root_;
  bool ok_ = false;
};

void InstallRemoveCycle(benchmark::State& state) {
  Machine machine;
  if (!machine.ok()) return state.SkipWithError("no sample driver in " VQD_FIXTURE_DIR);
  for (auto _ : state) {
    InitLibrary();
    int installed = RunVqdinst({"/INSTALL"});
    InitLibrary();
    int removed = RunVqdinst({"/REMOVE"});
    // Both copy or delete the driver, so both need a reboot.
    if (installed != 6 || removed != 6) return state.SkipWithError("the install or removal did not do its work");
  }
}
BENCHMARK(InstallRemoveCycle)->Unit(benchmark::kMicrosecond);

// Entries F000, F001, ... each with its service key (so no entry is swept as
// a stale driver), and a last one long enough to make exactly 1025 bytes.
std::string FullList(std::string* last) {
  std::string list;
  int n = 0;
  for (; list.size() + 2 * 6 + 1 <= 1025; ++n) list += "F" + std::string(3 - std::to_string(n).size(), '0') +
                                                         std::to_string(n) + '\0';
  *last = "L" + std::string(1025 - list.size() - 3, 'X');
  list += *last + '\0' + '\0';
  for (size_t start = 0; start < list.size() && list[start] != '\0';) {
    size_t end = list.find('\0', start);
    SetValue("SYSTEM\\CurrentControlSet\\Services\\" + list.substr(start, end - start), "Type", plat::kRegDword,
             {1, 0, 0, 0});
    start = end + 1;
  }
  return list;
}

void StoreFilters(const std::string& list) {
  SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, B(list));
}

// The list has no room for the driver: every entry is checked, nothing written.
void AddLowerFilterFullList(benchmark::State& state) {
  Machine machine;
  std::string last;
  const std::string list = FullList(&last);
  if (list.size() != 1025) return state.SkipWithError("the list is not 1025 bytes");
  StoreFilters(list);
  for (auto _ : state) benchmark::DoNotOptimize(AddLowerFilter("VQD2K"));
  if (StoredFilters() != list) state.SkipWithError("the full list was changed");
}
BENCHMARK(AddLowerFilterFullList)->Unit(benchmark::kMicrosecond);

void CheckLowerFilterFullList(benchmark::State& state) {
  Machine machine;
  std::string last;
  StoreFilters(FullList(&last));
  for (auto _ : state)
    if (!CheckLowerFilter(last)) return state.SkipWithError("the last entry was not found");
}
BENCHMARK(CheckLowerFilterFullList)->Unit(benchmark::kMicrosecond);

// The last entry removed; the full list is stored again outside the timing.
void RemoveLowerFilterFullList(benchmark::State& state) {
  Machine machine;
  std::string last;
  const std::string list = FullList(&last);
  for (auto _ : state) {
    state.PauseTiming();
    StoreFilters(list);
    state.ResumeTiming();
    if (!RemoveLowerFilter(last)) return state.SkipWithError("the last entry was not removed");
  }
}
BENCHMARK(RemoveLowerFilterFullList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
