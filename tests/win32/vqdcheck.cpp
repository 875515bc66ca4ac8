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
//
// The NT family's registry exactly, through the UTF-16 calls; a PATH under
// HKEY_LOCAL_MACHINE, taken from the UTF-16 command line (so a name with no
// ANSI form arrives whole when Wine runs in a UTF-8 locale):
//   dump PATH...                 each tree, a line per key: its path, its
//                                security descriptor as SDDL (owner, group,
//                                DACL), "volatile", or "link=TARGET" for a
//                                registry link (opened as itself, never
//                                followed); then a line per value: its name
//                                in quotes, type and bytes. Names in UTF-8
//   setvaluew PATH NAME TYPE HEX as setvalue, for names with no ANSI form
//   volatile PATH                creates a volatile key
//   link PATH TARGET             creates a registry link to HKLM\TARGET
//   unlink PATH                  deletes a link key itself, not its target
//   setsddl PATH SDDL            sets the DACL that SDDL gives on the key
#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

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

// HEX: two digits a byte.
std::vector<BYTE> Bytes(const std::string& hex) {
  std::vector<BYTE> data;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) data.push_back(static_cast<BYTE>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  return data;
}

int SetValue(const std::string& path, const std::string& name, uint32_t type, const std::string& hex) {
  const std::vector<BYTE> data = Bytes(hex);
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

// --- the NT family's registry through the UTF-16 calls ---

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                   static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

void* Ntdll(const char* name) { return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), name)); }

// A key deleted by its handle: a link itself, never its target.
bool DeleteByHandle(HKEY key) {
  auto deleteKey = reinterpret_cast<LONG(WINAPI*)(HANDLE)>(Ntdll("NtDeleteKey"));
  return deleteKey && deleteKey(key) == 0;
}

// The key's full name as the registry gives it (NtQueryKey, KeyNameInformation).
std::wstring KeyName(HKEY key) {
  auto queryKey = reinterpret_cast<LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*)>(Ntdll("NtQueryKey"));
  ULONG info[1024], size = 0;
  if (!queryKey || queryKey(key, 3, info, sizeof info, &size) != 0) return L"?";
  return std::wstring(reinterpret_cast<const wchar_t*>(info + 1), info[0] / 2);
}

// A link when the key opened as itself and the key opened through it differ.
std::string LinkTarget(HKEY parent, const std::wstring& name, HKEY key) {
  HKEY followed = nullptr;
  if (::RegOpenKeyExW(parent, name.c_str(), 0, KEY_QUERY_VALUE, &followed) == 0) {
    const bool same = KeyName(followed) == KeyName(key);
    ::RegCloseKey(followed);
    if (same) return "";
  }
  wchar_t target[1024] = {};
  DWORD size = sizeof target - sizeof(wchar_t);
  ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, nullptr, reinterpret_cast<BYTE*>(target), &size);
  return " link=" + Utf8(target);
}

// A volatile key refuses a lasting subkey (1021); a lasting one gets it,
// and it is deleted at once.
std::string Volatile(HKEY key) {
  HKEY probe = nullptr;
  DWORD made = 0;
  const LONG rc = ::RegCreateKeyExW(key, L"vqdcheck volatile probe", 0, nullptr, REG_OPTION_NON_VOLATILE, DELETE,
                                    nullptr, &probe, &made);
  if (rc == ERROR_CHILD_MUST_BE_VOLATILE) return " volatile";
  if (rc != 0) return " volatile=error" + std::to_string(rc);
  if (made == REG_CREATED_NEW_KEY) DeleteByHandle(probe);
  ::RegCloseKey(probe);
  return "";
}

void Dump(HKEY parent, const std::wstring& name, const std::wstring& path) {
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | KEY_CREATE_SUB_KEY, &key);
  if (rc != 0) {
    std::printf("%s error=%ld\n", Utf8(path).c_str(), rc);
    return;
  }
  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  static BYTE buffer[65536];
  DWORD size = sizeof buffer;
  wchar_t* sddl = nullptr;
  std::string security = "sddl=?";
  if (::RegGetKeySecurity(key, parts, buffer, &size) == 0 &&
      ::ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer, SDDL_REVISION_1, parts, &sddl, nullptr)) {
    security = Utf8(sddl);
    ::LocalFree(sddl);
  }
  const std::string link = LinkTarget(parent, name, key);
  std::printf("%s %s%s\n", Utf8(path).c_str(), security.c_str(), link.empty() ? Volatile(key).c_str() : link.c_str());
  wchar_t text[16384];
  DWORD length = 16384, type = 0;
  for (DWORD i = 0; size = sizeof buffer, length = 16384,
                    ::RegEnumValueW(key, i, text, &length, nullptr, &type, buffer, &size) == 0; ++i) {
    std::printf("  \"%s\" %lu ", Utf8(std::wstring(text, length)).c_str(), type);
    for (DWORD b = 0; b < size; ++b) std::printf("%02x", buffer[b]);
    std::printf("\n");
  }
  for (DWORD i = 0; link.empty() && (length = 256, ::RegEnumKeyExW(key, i, text, &length, nullptr, nullptr, nullptr, nullptr) == 0); ++i)
    Dump(key, std::wstring(text, length), path + L"\\" + std::wstring(text, length));
  ::RegCloseKey(key);
}

// The key made with OPTIONS (or opened); with a NAME, that value set.
int MakeKey(const std::wstring& path, DWORD options, const wchar_t* name = nullptr, DWORD type = 0,
            const std::vector<BYTE>& data = {}) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0)
    return Result(false);
  const bool ok = !name || ::RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())) == 0;
  ::RegCloseKey(key);
  return Result(ok);
}

int Unlink(const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) != 0) return Result(false);
  const bool ok = DeleteByHandle(key);
  ::RegCloseKey(key);
  return Result(ok);
}

int SetDacl(const std::wstring& path, const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  HKEY key = nullptr;
  bool ok = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr) &&
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, WRITE_DAC, &key) == 0;
  ok = ok && ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == 0;
  if (key) ::RegCloseKey(key);
  ::LocalFree(sd);
  return Result(ok);
}

}  // namespace

int main(int argc, char** argv) {
  InitLibrary();
  std::vector<std::string> a(argv + 1, argv + argc);
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> w(wide + 1, wide + count);
  ::LocalFree(wide);
  if (!a.empty() && a[0] == "--log") {
    DebugEnabled = true;
    OpenDebugLog();
    a.erase(a.begin());
    w.erase(w.begin());
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
  } else if (command == "dump" && n >= 2 && w.size() == n) {
    for (size_t i = 1; i < n; ++i) Dump(HKEY_LOCAL_MACHINE, w[i], w[i]);
    rc = 0;
  } else if (command == "setvaluew" && n == 5 && w.size() == n) {
    rc = MakeKey(w[1], REG_OPTION_NON_VOLATILE, w[2].c_str(), std::strtoul(a[3].c_str(), nullptr, 10), Bytes(a[4]));
  } else if (command == "volatile" && n == 2 && w.size() == n) {
    rc = MakeKey(w[1], REG_OPTION_VOLATILE);
  } else if (command == "link" && n == 3 && w.size() == n) {
    const std::wstring target = L"\\Registry\\Machine\\" + w[2];
    const BYTE* bytes = reinterpret_cast<const BYTE*>(target.data());
    rc = MakeKey(w[1], REG_OPTION_CREATE_LINK, L"SymbolicLinkValue", REG_LINK, {bytes, bytes + target.size() * 2});
  } else if (command == "unlink" && n == 2 && w.size() == n) {
    rc = Unlink(w[1]);
  } else if (command == "setsddl" && n == 3 && w.size() == n) {
    rc = SetDacl(w[1], w[2]);
  } else {
    std::fprintf(stderr, "vqdcheck: unknown command\n");
  }
  CloseDebugLog();
  return rc;
}
