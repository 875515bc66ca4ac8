// Security on the NT family: a private directory and a mutex made with a
// DACL for SYSTEM, the Administrators and the user of the process token
// only, and the check that a directory is still private. Windows 9x has
// none of it.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace plat {

namespace {

// The security functions of advapi32.dll, which the program imports (its
// registry functions) and so has loaded from the system directory: looked up
// in that module, never loaded by name. NT 4.0 lacks SetSecurityDescriptorControl,
// the last one.
const char* const kSecurityFunctionNames[] = {
    "GetTokenInformation", "AllocateAndInitializeSid",     "FreeSid",
    "GetLengthSid",        "InitializeAcl",                "AddAccessAllowedAce",
    "GetAce",              "InitializeSecurityDescriptor", "SetSecurityDescriptorDacl",
    "GetFileSecurityA",    "GetSecurityDescriptorOwner",   "GetSecurityDescriptorDacl",
    "EqualSid",            "SetSecurityDescriptorControl"};
const int kSecurityFunctions = 14;

struct SecurityFunctions {
  BOOL(WINAPI* getTokenInformation)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
  BOOL(WINAPI* allocateAndInitializeSid)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD,
                                         DWORD, DWORD, DWORD, PSID*);
  PVOID(WINAPI* freeSid)(PSID);
  DWORD(WINAPI* getLengthSid)(PSID);
  BOOL(WINAPI* initializeAcl)(PACL, DWORD, DWORD);
  BOOL(WINAPI* addAccessAllowedAce)(PACL, DWORD, DWORD, PSID);
  BOOL(WINAPI* getAce)(PACL, DWORD, LPVOID*);
  BOOL(WINAPI* initializeSecurityDescriptor)(PSECURITY_DESCRIPTOR, DWORD);
  BOOL(WINAPI* setSecurityDescriptorDacl)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
  BOOL(WINAPI* getFileSecurityA)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
  BOOL(WINAPI* getSecurityDescriptorOwner)(PSECURITY_DESCRIPTOR, PSID*, LPBOOL);
  BOOL(WINAPI* getSecurityDescriptorDacl)(PSECURITY_DESCRIPTOR, LPBOOL, PACL*, LPBOOL);
  BOOL(WINAPI* equalSid)(PSID, PSID);
  BOOL(WINAPI* setSecurityDescriptorControl)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                             SECURITY_DESCRIPTOR_CONTROL);  // may be null
};
static_assert(sizeof(SecurityFunctions) == kSecurityFunctions * sizeof(FARPROC), "one pointer per name");

// All but the last must be there.
bool ResolveSecurityFunctions(SecurityFunctions* functions) {
  HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
  if (!advapi) return false;
  FARPROC found[kSecurityFunctions];
  for (int i = 0; i < kSecurityFunctions; ++i) {
    found[i] = ::GetProcAddress(advapi, kSecurityFunctionNames[i]);
    if (!found[i] && i < kSecurityFunctions - 1) return false;
  }
  std::memcpy(functions, found, sizeof found);
  return true;
}

bool IsNT(OSVERSIONINFOA* v) {
  std::memset(v, 0, sizeof *v);
  v->dwOSVersionInfoSize = sizeof *v;
  return ::GetVersionExA(v) && v->dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// SYSTEM, the Administrators group and the token user. The user's SID lives
// in userBuffer (a SID takes at most 68 bytes).
struct ThreeSids {
  PSID sids[3] = {nullptr, nullptr, nullptr};
  DWORD userBuffer[32];
};

bool GetThreeSids(const SecurityFunctions& f, ThreeSids* three) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  BOOL gotUser = f.getTokenInformation(token, TokenUser, three->userBuffer, sizeof three->userBuffer, &size);
  DWORD error = ::GetLastError();
  ::CloseHandle(token);
  if (!gotUser) {
    ::SetLastError(error);
    return false;
  }
  SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
  three->sids[2] = reinterpret_cast<TOKEN_USER*>(three->userBuffer)->User.Sid;
  return f.allocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &three->sids[0]) &&
         f.allocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &three->sids[1]);
}

void FreeThreeSids(const SecurityFunctions& f, ThreeSids* three) {
  const DWORD error = ::GetLastError();
  for (int i = 0; i < 2; ++i)
    if (three->sids[i]) f.freeSid(three->sids[i]);
  ::SetLastError(error);
}

// A descriptor whose DACL gives each of the three `access`, with aceFlags.
struct PrivateDescriptor {
  SECURITY_DESCRIPTOR descriptor;
  DWORD aclBuffer[128];  // 512 bytes: the header and three entries of at most 80 bytes
};

bool BuildDescriptor(const SecurityFunctions& f, const ThreeSids& three, DWORD access, BYTE aceFlags,
                     bool protectedDacl, PrivateDescriptor* d) {
  PACL acl = reinterpret_cast<PACL>(d->aclBuffer);
  DWORD aclSize = sizeof(ACL);
  for (PSID sid : three.sids) aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + f.getLengthSid(sid);
  bool ok = aclSize <= sizeof d->aclBuffer && f.initializeAcl(acl, aclSize, ACL_REVISION);
  for (DWORD i = 0; ok && i < 3; ++i) {
    void* ace = nullptr;
    ok = f.addAccessAllowedAce(acl, ACL_REVISION, access, three.sids[i]) && f.getAce(acl, i, &ace);
    // AddAccessAllowedAceEx, which takes these flags, is Windows 2000's.
    if (ok) static_cast<ACE_HEADER*>(ace)->AceFlags = aceFlags;
  }
  ok = ok && f.initializeSecurityDescriptor(&d->descriptor, SECURITY_DESCRIPTOR_REVISION) &&
       f.setSecurityDescriptorDacl(&d->descriptor, TRUE, acl, FALSE);
  return ok && (!protectedDacl || f.setSecurityDescriptorControl(&d->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
}

// Runs make with the private descriptor; false when it cannot be built.
// Windows 2000 and later merge a parent's inheritable entries into a DACL
// that is not protected; NT 4.0 applies a given DACL as it is.
template <typename Make>
bool WithPrivateDescriptor(const OSVERSIONINFOA& v, DWORD access, BYTE aceFlags, Make make) {
  SecurityFunctions f;
  std::memset(&f, 0, sizeof f);
  const bool mergesInherited = v.dwMajorVersion >= 5;
  if (!ResolveSecurityFunctions(&f) || (mergesInherited && !f.setSecurityDescriptorControl)) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  ThreeSids three;
  PrivateDescriptor d;
  bool made = false;
  if (GetThreeSids(f, &three) && BuildDescriptor(f, three, access, aceFlags, mergesInherited, &d)) {
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &d.descriptor;
    attributes.bInheritHandle = FALSE;
    made = make(&attributes);
  }
  FreeThreeSids(f, &three);
  return made;
}

}  // namespace

bool CreatePrivateDirectoryA(const std::string& path) {
  OSVERSIONINFOA v;
  if (!IsNT(&v)) return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  return WithPrivateDescriptor(v, FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                               [&path](SECURITY_ATTRIBUTES* sa) { return ::CreateDirectoryA(path.c_str(), sa) != FALSE; });
}

bool IsPrivateDirectoryA(const std::string& path) {
  OSVERSIONINFOA v;
  if (!IsNT(&v)) return true;
  SecurityFunctions f;
  std::memset(&f, 0, sizeof f);
  if (!ResolveSecurityFunctions(&f)) return false;
  DWORD buffer[1024];  // 4 KiB: an owner and a DACL of some dozens of entries
  DWORD needed = 0;
  if (!f.getFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer,
                          sizeof buffer, &needed))
    return false;
  ThreeSids three;
  bool trusted = GetThreeSids(f, &three);
  auto known = [&](PSID sid) {
    for (PSID mine : three.sids)
      if (sid && mine && f.equalSid(sid, mine)) return true;
    return false;
  };
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  trusted = trusted && f.getSecurityDescriptorOwner(buffer, &owner, &defaulted) && known(owner) &&
            f.getSecurityDescriptorDacl(buffer, &present, &dacl, &defaulted) && present && dacl;
  // Every entry that allows anything names one of the three.
  for (DWORD i = 0; trusted && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    trusted = f.getAce(dacl, i, &ace);
    const BYTE type = trusted ? static_cast<ACE_HEADER*>(ace)->AceType : 0;
    if (trusted && type != ACCESS_DENIED_ACE_TYPE)
      trusted = type == ACCESS_ALLOWED_ACE_TYPE && known(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart);
  }
  FreeThreeSids(f, &three);
  return trusted;
}

MutexHandle CreateMutexA(const std::string& name) {
  OSVERSIONINFOA v;
  HANDLE mutex = nullptr;
  if (!IsNT(&v)) {
    mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
  } else if (!WithPrivateDescriptor(v, MUTEX_ALL_ACCESS, 0, [&](SECURITY_ATTRIBUTES* sa) {
               return (mutex = ::CreateMutexA(sa, FALSE, name.c_str())) != nullptr;
             }) &&
             ::GetLastError() == ERROR_ACCESS_DENIED) {
    // One made by another run with fewer rights asked for.
    mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
  }
  return reinterpret_cast<MutexHandle>(mutex);
}

bool ReleaseMutex(MutexHandle mutex) { return ::ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) != FALSE; }

}  // namespace plat
