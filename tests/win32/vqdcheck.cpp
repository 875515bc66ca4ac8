// A console program of the win32 build that runs single library operations
// against the real system, for the end-to-end tests under Wine. It is not part
// of vqdinst.exe. Each command prints one line; "--log" first switches the
// debug log on (C:\VQDINST.LOG).
//
//   version PATH...              "PATH=VERSION" per file
//   family                       IsNT, Is2K, UnsupportedOS and SystemDir
//   deletekey PATH               DeleteKey under HKEY_LOCAL_MACHINE
//   addfilter|removefilter|checkfilter NAME
//   service vqd|vqd2k create|remove
//   getcount | setcount N | installed
//   drivedb install|remove       with a temporary directory of its own
//   legacy probe|remove          the legacy driver of the running family
//   aspi                         ClearExcludeMiniports
//   getvalue PATH NAME           "TYPE HEXBYTES" of an HKLM value, or "missing"
//   setvalue PATH NAME TYPE HEX  stores an HKLM value (HEX: bytes, may be empty)
//   oeminf PATH [STYLE]          SetupCopyOEMInfA with no media and copy style
//                                STYLE (default SP_COPY_DELETESOURCE); "error=N"
//                                after the result when it failed
//   restart direct|worker        the CD-ROM device restart on this thread or
//                                on the worker; "result=R failed=F"
//   disable | enable [restart]   DisableDriver, EnableDriver(restart given)
//   privilege                    the shutdown privilege through the platform
//                                calls of RebootSystem, without the shutdown:
//                                "open=1 lookup=1 luid=L adjust=1 error=E"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/drivedb.h"
#include "package/legacy.h"
#include "package/payload.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/enable.h"
#include "vqdlib/registry.h"
#include "vqdlib/restart.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

namespace {

int Result(bool result) {
  std::printf("result=%d\n", result ? 1 : 0);
  return 0;
}

int GetValue(const std::string& path, const std::string& name) {
  plat::RegKey key = 0;
  uint8_t data[4096];
  uint32_t type = 0, size = sizeof data;
  if (plat::RegOpenKeyExA(plat::kHKeyLocalMachine, path, plat::kKeyRead, &key) != 0 ||
      plat::RegQueryValueExA(key, name, &type, data, &size) != 0) {
    std::printf("missing\n");
    return 0;
  }
  plat::RegCloseKey(key);
  std::printf("%u ", type);
  for (uint32_t i = 0; i < size; ++i) std::printf("%02x", data[i]);
  std::printf("\n");
  return 0;
}

int SetValue(const std::string& path, const std::string& name, uint32_t type, const std::string& hex) {
  std::vector<uint8_t> data;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) data.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  plat::RegKey key = 0;
  if (plat::RegCreateKeyA(plat::kHKeyLocalMachine, path, &key) != 0) return Result(false);
  bool ok = plat::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size())) == 0;
  plat::RegCloseKey(key);
  return Result(ok);
}

int CopyOEMInf(const std::string& path, uint32_t style) {
  bool ok = plat::SetupCopyOEMInfA(path, nullptr, plat::kSpostNone, style);
  uint32_t error = plat::GetLastError();
  if (ok)
    std::printf("result=1\n");
  else
    std::printf("result=0 error=%u\n", error);
  return 0;
}

int Restart(bool worker) {
  bool failed = false;
  bool result = worker ? RestartOnWorkerThread(failed) == 1 : RestartEachCdromDevice(failed);
  std::printf("result=%d failed=%d\n", result ? 1 : 0, failed ? 1 : 0);
  return 0;
}

bool LegacyProbe() {
  if (IsNT && !Is2K) return IsBremcoInstalled();
  if (Is2K) return IsBremco2KInstalled();
  return IsPlovantInstalled();
}

bool LegacyRemove() {
  if (IsNT && !Is2K) return RemoveBremco();
  if (Is2K) return RemoveBremco2K();
  return RemovePlovant();
}

// The steps RebootSystem takes before ExitWindowsEx, which never runs here.
int ShutdownPrivilege() {
  plat::TokenHandle token{};
  bool opened = plat::OpenProcessToken(plat::kTokenAdjustPrivileges | plat::kTokenQuery, &token);
  plat::Luid luid;
  bool found = plat::LookupPrivilegeValueA("SeShutdownPrivilege", &luid);
  bool adjusted = opened && plat::AdjustTokenPrivileges(token, luid, plat::kSePrivilegeEnabled);
  uint32_t error = plat::GetLastError();
  if (opened) plat::CloseHandle(token);
  std::printf("open=%d lookup=%d luid=%u adjust=%d error=%u\n", opened, found, luid.lowPart, adjusted, error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  InitLibrary();
  std::vector<std::string> a(argv + 1, argv + argc);
  if (!a.empty() && a[0] == "--log") {
    DebugEnabled = true;
    OpenDebugLog();
    a.erase(a.begin());
  }
  const std::string command = a.empty() ? "" : a[0];
  const size_t n = a.size();
  int rc = 2;
  if (command == "version" && n >= 2) {
    for (size_t i = 1; i < n; ++i) std::printf("%s=%s\n", a[i].c_str(), GetFileVersion(a[i]).c_str());
    rc = 0;
  } else if (command == "family" && n == 1) {
    std::printf("IsNT=%d Is2K=%d UnsupportedOS=%d SystemDir=%s\n", IsNT, Is2K, UnsupportedOS, SystemDir.c_str());
    rc = 0;
  } else if (command == "deletekey" && n == 2) {
    rc = Result(DeleteKey(a[1]));
  } else if (command == "addfilter" && n == 2) {
    rc = Result(AddLowerFilter(a[1]));
  } else if (command == "removefilter" && n == 2) {
    rc = Result(RemoveLowerFilter(a[1]));
  } else if (command == "checkfilter" && n == 2) {
    rc = Result(CheckLowerFilter(a[1]));
  } else if (command == "service" && n == 3) {
    bool create = a[2] == "create";
    rc = Result(a[1] == "vqd" ? RegCreateVQD(create) : RegCreateVQD2K(create));
  } else if (command == "getcount" && n == 1) {
    std::printf("count=%u\n", GetInstallCount());
    rc = 0;
  } else if (command == "setcount" && n == 2) {
    SetInstallCount(static_cast<uint32_t>(std::strtoul(a[1].c_str(), nullptr, 10)));
    rc = 0;
  } else if (command == "installed" && n == 1) {
    rc = Result(IsDriverInstalled());
  } else if (command == "drivedb" && n == 2) {
    TempDir = MakeTempDir();
    bool result = InstallDriveDB(a[1] == "install");
    DeleteTempDir(TempDir);
    rc = Result(result);
  } else if (command == "tempdir" && n == 1) {
    // Made and left in place, for a look at what protects it.
    std::printf("tempdir=%s\n", MakeTempDir().c_str());
    rc = 0;
  } else if (command == "legacy" && n == 2) {
    rc = Result(a[1] == "probe" ? LegacyProbe() : LegacyRemove());
  } else if (command == "aspi" && n == 1) {
    rc = Result(ClearExcludeMiniports());
  } else if (command == "getvalue" && n == 3) {
    rc = GetValue(a[1], a[2]);
  } else if (command == "setvalue" && (n == 4 || n == 5)) {
    rc = SetValue(a[1], a[2], static_cast<uint32_t>(std::strtoul(a[3].c_str(), nullptr, 10)), n == 5 ? a[4] : "");
  } else if (command == "oeminf" && (n == 2 || n == 3)) {
    rc = CopyOEMInf(a[1], n == 3 ? static_cast<uint32_t>(std::strtoul(a[2].c_str(), nullptr, 0))
                                 : plat::kSpCopyDeleteSource);
  } else if (command == "restart" && n == 2 && (a[1] == "direct" || a[1] == "worker")) {
    rc = Restart(a[1] == "worker");
  } else if (command == "disable" && n == 1) {
    rc = Result(DisableDriver());
  } else if (command == "enable" && (n == 1 || (n == 2 && a[1] == "restart"))) {
    rc = Result(EnableDriver(n == 2));
  } else if (command == "privilege" && n == 1) {
    rc = ShutdownPrivilege();
  } else {
    std::fprintf(stderr, "vqdcheck: unknown command\n");
  }
  CloseDebugLog();
  return rc;
}
