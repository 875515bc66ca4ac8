// Key trees on the real system, as the journal records them and puts them
// back. The NT family: the W calls (names and data exactly as stored), keys
// opened with REG_OPTION_OPEN_LINK (a link is opened itself), deleted by
// their handle (NtDeleteKey deletes what the handle holds, so a link goes,
// not its target). The W calls are looked up at run time: Windows 9x lacks
// most of them, and there the 8-bit calls are the system's own.
#include <windows.h>

#include <cstring>

#include "platform/direct.h"
#include "platform/win32/sysdll.h"

namespace plat {

namespace {

HKEY K(RegKey k) { return reinterpret_cast<HKEY>(k); }
bool Nt() {
  static const bool nt = [] {
    OSVERSIONINFOA v;
    std::memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    return ::GetVersionExA(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }();
  return nt;
}

constexpr DWORD kOpenLink = 0x8;      // REG_OPTION_OPEN_LINK
constexpr DWORD kCreateLink = 0x2;    // REG_OPTION_CREATE_LINK
constexpr DWORD kTreeAccess = KEY_READ | DELETE | KEY_CREATE_SUB_KEY;
constexpr SECURITY_INFORMATION kSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
const wchar_t kLinkValue[] = L"SymbolicLinkValue";

struct CountedName {  // UNICODE_STRING
  USHORT length, maximumLength;
  wchar_t* buffer;
};

struct Api {
  decltype(&::RegOpenKeyExW) open = nullptr;
  decltype(&::RegCreateKeyExW) create = nullptr;
  decltype(&::RegEnumKeyExW) enumKey = nullptr;
  decltype(&::RegEnumValueW) enumValue = nullptr;
  decltype(&::RegQueryValueExW) query = nullptr;
  decltype(&::RegSetValueExW) set = nullptr;
  decltype(&::RegQueryInfoKeyW) info = nullptr;
  decltype(&::RegGetKeySecurity) getSecurity = nullptr;
  decltype(&::RegSetKeySecurity) setSecurity = nullptr;
  decltype(&::GetSecurityDescriptorOwner) owner = nullptr;
  decltype(&::EqualSid) equalSid = nullptr;
  LONG(WINAPI* deleteKey)(HANDLE) = nullptr;   // NtDeleteKey
  // NtEnumerateValueKey: a value's data with its stored length (Wine's
  // RegEnumValueW counts a terminator a string lacks).
  LONG(WINAPI* enumValueKey)(HANDLE, ULONG, int, void*, ULONG, ULONG*) = nullptr;
  LONG(WINAPI* queryValueKey)(HANDLE, const CountedName*, int, void*, ULONG, ULONG*) = nullptr;  // the same
  // NtSetValueKey: the bytes as given (RegSetValueExW adds a terminator a
  // string lacks).
  LONG(WINAPI* setValueKey)(HANDLE, const CountedName*, ULONG, ULONG, const void*, ULONG) = nullptr;
  ULONG(WINAPI* toError)(LONG) = nullptr;      // RtlNtStatusToDosError
};

// The calls, or null where the system lacks one (every call here then fails
// with ERROR_CALL_NOT_IMPLEMENTED).
const Api& Calls() {
  static const Api api = [] {
    Api a;
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll"), ntdll = ::GetModuleHandleA("ntdll.dll");
    win32::Resolve(advapi, "RegOpenKeyExW", &a.open);
    win32::Resolve(advapi, "RegCreateKeyExW", &a.create);
    win32::Resolve(advapi, "RegEnumKeyExW", &a.enumKey);
    win32::Resolve(advapi, "RegEnumValueW", &a.enumValue);
    win32::Resolve(advapi, "RegQueryValueExW", &a.query);
    win32::Resolve(advapi, "RegSetValueExW", &a.set);
    win32::Resolve(advapi, "RegQueryInfoKeyW", &a.info);
    win32::Resolve(advapi, "RegGetKeySecurity", &a.getSecurity);
    win32::Resolve(advapi, "RegSetKeySecurity", &a.setSecurity);
    win32::Resolve(advapi, "GetSecurityDescriptorOwner", &a.owner);
    win32::Resolve(advapi, "EqualSid", &a.equalSid);
    win32::Resolve(ntdll, "NtDeleteKey", &a.deleteKey);
    win32::Resolve(ntdll, "NtEnumerateValueKey", &a.enumValueKey);
    win32::Resolve(ntdll, "NtQueryValueKey", &a.queryValueKey);
    win32::Resolve(ntdll, "NtSetValueKey", &a.setValueKey);
    win32::Resolve(ntdll, "RtlNtStatusToDosError", &a.toError);
    return a;
  }();
  return api;
}

bool Complete(const Api& a) {
  return a.open && a.create && a.enumKey && a.enumValue && a.query && a.set && a.info && a.getSecurity &&
         a.setSecurity && a.owner && a.equalSid && a.deleteKey && a.enumValueKey && a.queryValueKey && a.setValueKey && a.toError;
}

// A native name with a wide terminator, for the W calls (W() of it).
struct Wide {
  explicit Wide(const std::string& native) : bytes(native) { bytes.append(2, '\0'); }
  const wchar_t* c_str() const { return reinterpret_cast<const wchar_t*>(bytes.data()); }
  size_t size() const { return bytes.size() / 2 - 1; }
  std::string bytes;
};

std::string Native(const wchar_t* wide, size_t length) {
  return std::string(reinterpret_cast<const char*>(wide), length * 2);
}

// A REG_LINK SymbolicLinkValue of the key, into target; false when it has none.
bool LinkValue(HKEY key, std::string* target) {
  wchar_t buffer[1024];
  DWORD type = 0, size = sizeof buffer;
  if (Calls().query(key, kLinkValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != 0 || type != REG_LINK)
    return false;
  target->assign(reinterpret_cast<const char*>(buffer), size);
  return true;
}

// The key's self-relative descriptor: owner, group and DACL.
long Security(HKEY key, std::string* security) {
  DWORD size = 256;
  long rc = ERROR_INSUFFICIENT_BUFFER;
  for (int tries = 0; tries < 4 && rc == ERROR_INSUFFICIENT_BUFFER; ++tries) {
    security->assign(size, '\0');
    rc = Calls().getSecurity(key, kSecurity, &(*security)[0], &size);
  }
  if (rc == 0) security->resize(size);
  return rc;
}

long DeleteHeld(HKEY key) {
  const LONG status = Calls().deleteKey(key);
  return status == 0 ? 0 : static_cast<long>(Calls().toError(status));
}

// Whether the key opened with REG_OPTION_OPEN_LINK as name below parent is
// a link: it has a SymbolicLinkValue of type REG_LINK that the key reached
// by following the name does not have (a plain key with such a value is
// the same key both ways).
bool IsLink(HKEY parent, const Wide& name, HKEY key, std::string* target) {
  if (!LinkValue(key, target)) return false;
  HKEY followed = nullptr;
  if (Calls().open(parent, name.c_str(), 0, KEY_QUERY_VALUE, &followed) != 0) return true;
  std::string there;
  const bool same = LinkValue(followed, &there) && there == *target;
  ::RegCloseKey(followed);
  return !same;
}

constexpr int kValueFullInformation = 1;  // KEY_VALUE_FULL_INFORMATION

// A value as NtEnumerateValueKey or NtQueryValueKey gives it (query: the
// call, into a buffer of the size given), its data with its stored length:
// the W calls count a terminator that a string lacks.
template <typename Query>
long ReadValue(Query query, bool named, std::string* name, uint32_t* type, std::string* data) {
  struct Full {
    ULONG titleIndex, type, dataOffset, dataLength, nameLength;
  };
  constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005), kBufferTooSmall = static_cast<LONG>(0xC0000023);
  std::string buffer(1024, '\0');
  LONG status = kBufferOverflow;
  for (int tries = 0; tries < 4 && (status == kBufferOverflow || status == kBufferTooSmall); ++tries) {
    ULONG needed = 0;
    status = query(&buffer[0], static_cast<ULONG>(buffer.size()), &needed);
    if (status == kBufferOverflow || status == kBufferTooSmall) buffer.assign(needed + 256, '\0');
  }
  if (status != 0) return static_cast<long>(Calls().toError(status));
  Full full;
  std::memcpy(&full, buffer.data(), sizeof full);
  if (sizeof full + full.nameLength > buffer.size() || full.dataOffset > buffer.size() ||
      full.dataLength > buffer.size() - full.dataOffset)
    return ERROR_INVALID_DATA;
  if (named) name->assign(buffer, sizeof full, full.nameLength);
  data->assign(buffer, full.dataOffset, full.dataLength);
  *type = full.type;
  return 0;
}

}  // namespace

std::string direct::NativeName(const std::string& name) {
  if (!Nt()) return name;
  const int length = ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::string native(static_cast<size_t>(length > 0 ? length : 0) * 2, '\0');
  if (length > 0)
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), reinterpret_cast<wchar_t*>(&native[0]),
                          length);
  return native;
}

std::string direct::PrintableName(const std::string& native) {
  if (!Nt()) return native;
  const Wide wide(native);
  const int length =
      ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string name(static_cast<size_t>(length), '\0');
  if (length > 0)
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &name[0], length, nullptr, nullptr);
  return name;
}

long direct::RegOpenTreeKey(RegKey parent, const std::string& name, RegKey* result) {
  HKEY key = nullptr;
  long rc = 0;
  if (!Nt())
    rc = ::RegOpenKeyExA(K(parent), name.c_str(), 0, kTreeAccess, &key);
  else if (!Complete(Calls()))
    rc = ERROR_CALL_NOT_IMPLEMENTED;
  else
    rc = Calls().open(K(parent), Wide(name).c_str(), kOpenLink, kTreeAccess, &key);
  *result = reinterpret_cast<RegKey>(key);
  return rc;
}

long direct::RegEnumTreeKey(RegKey key, uint32_t index, std::string* name) {
  if (!Nt()) {
    char buffer[256];
    DWORD size = sizeof buffer;
    const long rc = ::RegEnumKeyExA(K(key), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == 0) name->assign(buffer, size);
    return rc;
  }
  wchar_t buffer[256];  // the longest key name Windows allows, and its end
  DWORD size = 256;
  const long rc = Calls().enumKey(K(key), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
  if (rc == 0) *name = Native(buffer, size);
  return rc;
}

long direct::RegEnumTreeValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, std::string* data) {
  if (!Nt()) {
    // The data's size is asked for first; a value that grows meanwhile is
    // asked for again.
    char buffer[16384];
    long rc = ERROR_MORE_DATA;
    for (int tries = 0; tries < 4 && rc == ERROR_MORE_DATA; ++tries) {
      DWORD length = sizeof buffer, valueType = 0, size = 0;
      if ((rc = ::RegEnumValueA(K(key), index, buffer, &length, nullptr, &valueType, nullptr, &size)) != 0) return rc;
      data->assign(size ? size : 1, '\0');
      length = sizeof buffer;
      rc = ::RegEnumValueA(K(key), index, buffer, &length, nullptr, &valueType, reinterpret_cast<BYTE*>(&(*data)[0]),
                           &size);
      if (rc != 0) continue;
      data->resize(size);
      name->assign(buffer, length);
      *type = valueType;
    }
    return rc;
  }
  return ReadValue([&](void* buffer, ULONG size, ULONG* needed) {
    return Calls().enumValueKey(K(key), index, kValueFullInformation, buffer, size, needed);
  }, true, name, type, data);
}

long direct::RegQueryTreeValue(RegKey key, const std::string& name, uint32_t* type, std::string* data) {
  if (!Nt()) {
    DWORD size = 0, valueType = 0;
    long rc = ::RegQueryValueExA(K(key), name.c_str(), nullptr, &valueType, nullptr, &size);
    if (rc != 0) return rc;
    data->assign(size ? size : 1, '\0');
    rc = ::RegQueryValueExA(K(key), name.c_str(), nullptr, &valueType, reinterpret_cast<BYTE*>(&(*data)[0]), &size);
    data->resize(size);
    *type = valueType;
    return rc;
  }
  if (!Complete(Calls())) return ERROR_CALL_NOT_IMPLEMENTED;
  Wide wide(name);
  CountedName text;
  text.length = text.maximumLength = static_cast<USHORT>(wide.size() * 2);
  text.buffer = const_cast<wchar_t*>(wide.c_str());
  return ReadValue([&](void* buffer, ULONG size, ULONG* needed) {
    return Calls().queryValueKey(K(key), &text, kValueFullInformation, buffer, size, needed);
  }, false, nullptr, type, data);
}

long direct::RegTreeKeyFacts(RegKey parent, const std::string& name, RegKey key, const std::string& probe,
                             KeyFacts* facts) {
  *facts = KeyFacts();
  if (!Nt()) return 0;
  const long rc = Security(K(key), &facts->security);
  if (rc != 0) return rc;
  facts->link = IsLink(K(parent), Wide(name), K(key), &facts->target);
  if (facts->link || probe.empty()) return 0;
  HKEY made = nullptr;
  DWORD disposition = 0;
  const long probed = Calls().create(K(key), Wide(probe).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | DELETE, nullptr, &made, &disposition);
  facts->isVolatile = probed == ERROR_CHILD_MUST_BE_VOLATILE;
  if (facts->isVolatile) return 0;
  if (probed != 0) return probed;
  // A probe key that was there already is not ours to delete: it tells
  // nothing either.
  const long deleted = disposition == REG_CREATED_NEW_KEY ? DeleteHeld(made) : ERROR_ALREADY_EXISTS;
  ::RegCloseKey(made);
  return deleted;
}

long direct::RegDeleteTreeKey(RegKey parent, const std::string& name, RegKey key) {
  if (!Nt()) return ::RegDeleteKeyA(K(parent), name.c_str());
  DWORD subkeys = 0;
  const long rc = Calls().info(K(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
  if (rc != 0) return rc;
  return subkeys ? ERROR_ACCESS_DENIED : DeleteHeld(K(key));
}

long direct::RegDeleteKeyA(RegKey key, const std::string& subKey) {
  if (!Nt()) return ::RegDeleteKeyA(K(key), subKey.c_str());
  RegKey held = 0;
  long rc = RegOpenTreeKey(key, NativeName(subKey), &held);
  if (rc != 0) return rc;
  rc = RegDeleteTreeKey(key, NativeName(subKey), held);
  ::RegCloseKey(K(held));
  return rc;
}

long direct::RegMakeTreeKey(const std::string& path, const KeyFacts& facts, RegKey* result) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  long rc = 0;
  *result = 0;
  if (!Nt()) {
    rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                           &disposition);
  } else {
    if (!Complete(Calls())) return ERROR_CALL_NOT_IMPLEMENTED;
    const DWORD options = (facts.isVolatile ? REG_OPTION_VOLATILE : 0) | (facts.link ? kCreateLink : 0);
    rc = Calls().create(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition);
  }
  if (rc != 0) return rc;
  // Whatever is there already is not the key that was.
  if (disposition != REG_CREATED_NEW_KEY) rc = ERROR_ALREADY_EXISTS;
  if (rc == 0 && facts.link)
    rc = Calls().set(key, kLinkValue, 0, REG_LINK, reinterpret_cast<const BYTE*>(facts.target.data()),
                     static_cast<DWORD>(facts.target.size()));
  if (rc != 0) {
    ::RegCloseKey(key);
    return rc;
  }
  *result = reinterpret_cast<RegKey>(key);
  return 0;
}

long direct::RegSetTreeValue(RegKey key, const std::string& name, uint32_t type, const std::string& data) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(data.data());
  const DWORD size = static_cast<DWORD>(data.size());
  if (!Nt()) return ::RegSetValueExA(K(key), name.c_str(), 0, type, bytes, size);
  Wide wide(name);
  CountedName text;
  text.length = text.maximumLength = static_cast<USHORT>(wide.size() * 2);
  text.buffer = const_cast<wchar_t*>(wide.c_str());
  const LONG status = Calls().setValueKey(K(key), &text, 0, type, bytes, size);
  return status == 0 ? 0 : static_cast<long>(Calls().toError(status));
}

long direct::RegSetTreeKeySecurity(const std::string& path, const std::string& security) {
  if (!Nt()) return 0;
  if (!Complete(Calls())) return ERROR_CALL_NOT_IMPLEMENTED;
  HKEY key = nullptr;
  long rc = Calls().open(HKEY_LOCAL_MACHINE, Wide(path).c_str(), kOpenLink, READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                         &key);
  if (rc != 0) return rc;
  PSECURITY_DESCRIPTOR wanted = const_cast<char*>(security.data());
  std::string now;
  PSID wantedOwner = nullptr, nowOwner = nullptr;
  BOOL defaulted = FALSE;
  // The owner too; a user who may not name that owner needs not to where
  // the key has it already (Wine changes the owner with the DACL, so it is
  // always named first).
  rc = Security(key, &now);
  SECURITY_INFORMATION what = GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  const bool sameOwner = rc == 0 && Calls().owner(wanted, &wantedOwner, &defaulted) &&
                         Calls().owner(&now[0], &nowOwner, &defaulted) && wantedOwner && nowOwner &&
                         Calls().equalSid(wantedOwner, nowOwner);
  if (rc == 0) rc = Calls().setSecurity(key, what | OWNER_SECURITY_INFORMATION, wanted);
  if (rc != 0 && sameOwner) rc = Calls().setSecurity(key, what, wanted);
  ::RegCloseKey(key);
  return rc;
}

}  // namespace plat
