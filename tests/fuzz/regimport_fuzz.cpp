// libFuzzer entry for the simulated registry editor: any bytes as the file of
// "REGEDIT.EXE /s FILE", the way InstallDriveDB imports the drive database.
// The import never crashes or throws, the editor always starts and ends, and
// importing the same file twice leaves the same key tree as importing it once
// (each line creates or deletes keys outright, so a second pass changes
// nothing).
#include <map>
#include <string>

#include "fuzz_sim.h"

namespace {

const char* const kFile = "C:\\TEMP\\DRIVEDB.REG";
const char* const kEditor = "C:\\WINDOWS\\REGEDIT.EXE /s C:\\TEMP\\DRIVEDB.REG";

// Every key below root, by path, with its subkey count.
void KeyTree(plat::RegKey root, const std::string& path, std::map<std::string, uint32_t>* tree, int depth = 0) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(root, path, &key) != 0) return;
  uint32_t count = 0;
  plat::RegQueryInfoKeyA(key, &count);
  (*tree)[path] = count;
  for (uint32_t i = 0; depth < 64 && i < count; ++i) {
    char name[256];
    uint32_t size = sizeof name;
    if (plat::RegEnumKeyExA(key, i, name, &size) != 0) break;
    const std::string sub(name, size);
    KeyTree(root, path.empty() ? sub : path + "\\" + sub, tree, depth + 1);
  }
  plat::RegCloseKey(key);
}

std::map<std::string, uint32_t> Registry() {
  std::map<std::string, uint32_t> tree;
  KeyTree(plat::kHKeyLocalMachine, "", &tree);
  std::map<std::string, uint32_t> user;
  KeyTree(plat::kHKeyCurrentUser, "", &user);
  for (const auto& [path, count] : user) tree["HKCU:" + path] = count;
  return tree;
}

void RunEditor() {
  plat::ProcessHandle process = plat::CreateProcessA("", kEditor, "", 0);
  fuzz::Require(process != 0, "the registry editor starts");
  fuzz::Require(plat::WaitForProcess(process) == 0, "the registry editor exits with 0");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  fuzz::FreshMachine("regimport");
  sim::WriteFile(kFile, fuzz::Text(data, size));
  RunEditor();
  const auto once = Registry();
  RunEditor();
  fuzz::Require(Registry() == once, "a second import changes no key");
  return 0;
}
