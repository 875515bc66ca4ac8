#include "app/flags.h"

#include "app/runstate.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"

const char* const FlagKey = "Software\\Velcordia\\VQDINST";

void CreateFlagFile(const std::string& name) {
  if (NoFlag) return;
  DebugLog("CFF: " + name);
  plat::FileHandle file = plat::CreateFileA(name + ".txt", plat::Access::Write, plat::kFileShareRead | plat::kFileShareWrite, plat::Disposition::CreateAlways);
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

void DeleteFlagFile(const std::string& name) {
  DebugLog("DFF: " + name);
  plat::DeleteFileA(name + ".txt");
}

void DeleteRegFlag() {
  DebugLog("DRF");
  plat::RegDeleteKeyA(plat::kHKeyCurrentUser, FlagKey);
}
