// The platform layer on the real system: thin wrappers of the 8-bit Win32
// calls.
#include <windows.h>

#include <cstring>

#include "platform/direct.h"
#include "platform/platform.h"
#include "platform/win32/sysdll.h"

namespace plat {

static HANDLE H(FileHandle f) { return reinterpret_cast<HANDLE>(f); }
static HKEY K(RegKey k) { return reinterpret_cast<HKEY>(k); }
static void FromFileTime(const FILETIME& ft, FileTime* out) {
  if (out) *out = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
static FILETIME ToFileTime(FileTime t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

uint32_t GetLastError() { return ::GetLastError(); }

bool GetVersionExA(OsVersionInfo* info) {
  OSVERSIONINFOA v;
  std::memset(&v, 0, sizeof v);
  // The system writes as many bytes as the size field claims: never more
  // than the record has (a larger size is one the system refuses, except the
  // 156 of OSVERSIONINFOEXA, which this record cannot hold).
  if (info->size > sizeof v) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  v.dwOSVersionInfoSize = info->size;
  BOOL ok = ::GetVersionExA(&v);
  info->majorVersion = v.dwMajorVersion;
  info->minorVersion = v.dwMinorVersion;
  info->buildNumber = v.dwBuildNumber;
  info->platformId = v.dwPlatformId;
  return ok != FALSE;
}

uint32_t GetSystemDirectoryA(char* buf, uint32_t size) { return ::GetSystemDirectoryA(buf, size); }
uint32_t GetWindowsDirectoryA(char* buf, uint32_t size) { return ::GetWindowsDirectoryA(buf, size); }
uint32_t GetEnvironmentVariableA(const char* name, char* buf, uint32_t size) {
  return ::GetEnvironmentVariableA(name, buf, size);
}

std::string GetModuleFileNameA() {
  char path[MAX_PATH + 1];
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n > MAX_PATH ? MAX_PATH : n);
}

// The text of a buffer the system wrote `length` characters into, the
// terminator counted; up to its first zero byte.
static std::string Text(const char* buffer, int length) {
  if (length <= 0) return "";
  const char* end = static_cast<const char*>(std::memchr(buffer, 0, static_cast<size_t>(length)));
  return std::string(buffer, end ? static_cast<size_t>(end - buffer) : static_cast<size_t>(length));
}

std::string LocalDateTimeText() {
  char date[128], time[128];
  // Each returns the length written with its terminator, 0 on failure (the
  // buffer's contents are then undefined): only that many characters count.
  int dateLength = ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  int timeLength = ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  return Text(date, dateLength) + " " + Text(time, timeLength);
}

// ---------------------------------------------------------------- files

FileHandle direct::CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition) {
  DWORD rights = access == Access::Read ? GENERIC_READ
                 : access == Access::Write ? GENERIC_WRITE
                                           : GENERIC_READ | GENERIC_WRITE;
  DWORD how = disposition == Disposition::CreateAlways ? CREATE_ALWAYS
              : disposition == Disposition::CreateNew  ? CREATE_NEW
                                                       : OPEN_EXISTING;
  HANDLE h = ::CreateFileA(path.c_str(), rights, shareMode, nullptr, how, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

bool WriteFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
  DWORD n = 0;
  BOOL ok = ::WriteFile(H(file), data, size, &n, nullptr);
  *written = n;
  return ok && n == size;
}

bool ReadFile(FileHandle file, void* data, uint32_t size, uint32_t* read) {
  DWORD n = 0;
  BOOL ok = ::ReadFile(H(file), data, size, &n, nullptr);
  *read = n;
  return ok != FALSE;
}

bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite) {
  FILETIME c, a, w;
  if (creation) c = ToFileTime(*creation);
  if (lastAccess) a = ToFileTime(*lastAccess);
  if (lastWrite) w = ToFileTime(*lastWrite);
  return ::SetFileTime(H(file), creation ? &c : nullptr, lastAccess ? &a : nullptr, lastWrite ? &w : nullptr);
}

bool GetFileTime(FileHandle file, FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
  FILETIME c, a, w;
  if (!::GetFileTime(H(file), &c, &a, &w)) return false;
  FromFileTime(c, creation);
  FromFileTime(a, lastAccess);
  FromFileTime(w, lastWrite);
  return true;
}

bool CloseHandle(FileHandle file) { return ::CloseHandle(H(file)) != FALSE; }
bool FlushFileBuffers(FileHandle file) { return ::FlushFileBuffers(H(file)) != FALSE; }
void direct::SetLastError(uint32_t error) { ::SetLastError(error); }
bool direct::DeleteFileA(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }
bool CreateDirectoryA(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE; }
bool RemoveDirectoryA(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != FALSE; }

// An open that asks for no reading, writing or deleting is left out of the
// share check altogether: the listing right is what makes a rename wait.
FileHandle OpenDirectoryA(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

bool direct::MoveFileA(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}
bool direct::MoveFileExA(const std::string& from, const std::string& to, uint32_t flags) {
  return ::MoveFileExA(from.c_str(), to.empty() ? nullptr : to.c_str(), flags) != FALSE;
}
bool direct::CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists) != FALSE;
}

namespace {

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPSTR, DWORD, DWORD);

// The final path of what the name opens (VOLUME_NAME_DOS, without "\\\\?\\")
// into out (MAX_PATH * 2 bytes); false when it cannot be had.
bool FinalPathOf(const char* path, FinalPathFunction finalPath, char* out) {
  HANDLE h = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = finalPath(h, out, MAX_PATH * 2, 0);  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
  ::CloseHandle(h);
  if (n == 0 || n >= MAX_PATH * 2) return false;
  if (std::strncmp(out, "\\\\?\\", 4) == 0) std::memmove(out, out + 4, n - 3);
  return true;
}

}  // namespace

bool IsReparsePointA(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(find);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  // Before Vista, files have no symbolic links (a junction carries the attribute).
  FinalPathFunction finalPath = reinterpret_cast<FinalPathFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
  if (!finalPath || path.size() >= MAX_PATH) return false;
  // The folder: what comes before the last separator ("." for none), with
  // the backslash kept for a root ("C:\\", "\\").
  char folder[MAX_PATH + 2] = ".";
  size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos) {
    size_t keep = cut == 0 || (cut == 2 && path[1] == ':') ? cut + 1 : cut;
    std::memcpy(folder, path.data(), keep);
    folder[keep] = 0;
  }
  char finalFile[MAX_PATH * 2], finalFolder[MAX_PATH * 3];
  if (!FinalPathOf(path.c_str(), finalPath, finalFile) || !FinalPathOf(folder, finalPath, finalFolder)) return false;
  size_t n = std::strlen(finalFolder);
  if (n && finalFolder[n - 1] != '\\') finalFolder[n++] = '\\';
  std::memcpy(finalFolder + n, data.cFileName, std::strlen(data.cFileName) + 1);
  return ::lstrcmpiA(finalFile, finalFolder) != 0;
}

static void Found(const WIN32_FIND_DATAA& data, FindData* found) {
  found->name = data.cFileName;
  found->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  found->reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  found->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

FindHandle FindFirstFileA(const std::string& pattern, FindData* found) {
  WIN32_FIND_DATAA data;
  HANDLE h = ::FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return kInvalidFind;
  Found(data, found);
  return reinterpret_cast<FindHandle>(h);
}

bool FindNextFileA(FindHandle find, FindData* found) {
  WIN32_FIND_DATAA data;
  if (!::FindNextFileA(reinterpret_cast<HANDLE>(find), &data)) return false;
  Found(data, found);
  return true;
}

bool FindClose(FindHandle find) { return ::FindClose(reinterpret_cast<HANDLE>(find)) != FALSE; }

bool MapWholeFile(const std::string& path, FileView* view) {
  *view = FileView();
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) {
    ::CloseHandle(file);
    return false;
  }
  void* data = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (!data) {
    ::CloseHandle(mapping);
    ::CloseHandle(file);
    return false;
  }
  view->data = static_cast<const uint8_t*>(data);
  view->size = ::GetFileSize(file, nullptr);
  view->file = reinterpret_cast<intptr_t>(file);
  view->mapping = reinterpret_cast<intptr_t>(mapping);
  return true;
}

void UnmapWholeFile(FileView* view) {
  if (view->data) ::UnmapViewOfFile(view->data);
  if (view->mapping) ::CloseHandle(reinterpret_cast<HANDLE>(view->mapping));
  if (view->file != -1) ::CloseHandle(reinterpret_cast<HANDLE>(view->file));
  *view = FileView();
}

// ---------------------------------------------------------------- version information

// version.dll is loaded at run time from the system directory by its full
// path: imported, the loader would look for it beside vqdinst.exe first (it is
// not one of the DLLs Windows always takes from the system directory), and a
// planted one would run inside the elevated process before WinMain. Where it
// or a function is missing, a file reads as one without version information.
namespace {

struct VersionApi {
  DWORD loadError = 0;  // why the library could not be loaded; 0 when it was
  decltype(&::GetFileVersionInfoSizeA) getSize = nullptr;
  decltype(&::GetFileVersionInfoA) getInfo = nullptr;
  decltype(&::VerQueryValueA) query = nullptr;
};

VersionApi LoadVersionApi() {
  VersionApi api;
  HMODULE module = win32::LoadSystemLibrary("version.dll");
  if (!module) {
    api.loadError = ::GetLastError();
    return api;
  }
  win32::Resolve(module, "GetFileVersionInfoSizeA", &api.getSize);
  win32::Resolve(module, "GetFileVersionInfoA", &api.getInfo);
  win32::Resolve(module, "VerQueryValueA", &api.query);
  return api;  // the library stays loaded for the rest of the run
}

const VersionApi& Version() {
  static const VersionApi api = LoadVersionApi();
  return api;
}

// For a call whose function is missing: the reason.
void VersionMissing() { ::SetLastError(Version().loadError ? Version().loadError : ERROR_PROC_NOT_FOUND); }

}  // namespace

uint32_t GetFileVersionInfoSizeA(const std::string& path) {
  if (!Version().getSize) {
    VersionMissing();
    return 0;
  }
  DWORD handle = 0;
  return Version().getSize(path.c_str(), &handle);
}

bool GetFileVersionInfoA(const std::string& path, uint32_t size, void* block) {
  if (!Version().getInfo) {
    VersionMissing();
    return false;
  }
  return Version().getInfo(path.c_str(), 0, size, block) != FALSE;
}

bool VerQueryValueA(void* block, uint32_t blockSize, const std::string& subBlock, const void** value,
                    uint32_t* length) {
  if (!Version().query) {
    VersionMissing();
    return false;
  }
  // The system's reader walks the block as far as its root node's length
  // says: a root that claims more than the block has (a VxD's version data
  // can) is cut to the block first, as the host's reader takes it.
  uint8_t* bytes = static_cast<uint8_t*>(block);
  if (blockSize < 6) {  // not even a root node
    ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  if (static_cast<uint32_t>(bytes[0] | bytes[1] << 8) > blockSize) {
    bytes[0] = static_cast<uint8_t>(blockSize);
    bytes[1] = static_cast<uint8_t>(blockSize >> 8);
  }
  void* result = nullptr;
  UINT n = 0;
  if (!Version().query(block, subBlock.c_str(), &result, &n)) return false;
  // The value and its length come from the block, which comes from the file:
  // both must lie inside the block (a string's length counts characters,
  // which are bytes in the 8-bit form), or the file has no such value.
  const uintptr_t start = reinterpret_cast<uintptr_t>(block), at = reinterpret_cast<uintptr_t>(result);
  if (!result || at < start || at - start > blockSize || n > blockSize - (at - start)) {
    ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  *value = result;
  *length = n;
  return true;
}

// ---------------------------------------------------------------- resources

ResourceHandle FindResourceA(const std::string& name, const std::string& type) {
  return reinterpret_cast<ResourceHandle>(::FindResourceA(nullptr, name.c_str(), type.c_str()));
}

bool LoadResourceData(ResourceHandle resource, const uint8_t** data, uint32_t* size) {
  HRSRC r = reinterpret_cast<HRSRC>(resource);
  HGLOBAL loaded = ::LoadResource(nullptr, r);
  if (!loaded) return false;
  void* locked = ::LockResource(loaded);
  if (!locked) return false;
  *data = static_cast<const uint8_t*>(locked);
  *size = ::SizeofResource(nullptr, r);
  return true;
}

// ---------------------------------------------------------------- registry

long direct::RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  HKEY k = nullptr;
  long rc = ::RegOpenKeyExA(K(root), subKey.c_str(), 0, access, &k);
  *result = reinterpret_cast<RegKey>(k);
  return rc;
}

long direct::RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  HKEY k = nullptr;
  long rc = ::RegOpenKeyA(K(root), subKey.c_str(), &k);
  *result = reinterpret_cast<RegKey>(k);
  return rc;
}

long direct::RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  HKEY k = nullptr;
  long rc = ::RegCreateKeyA(K(root), subKey.c_str(), &k);
  *result = reinterpret_cast<RegKey>(k);
  return rc;
}

long direct::RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  HKEY k = nullptr;
  long rc = ::RegCreateKeyExA(K(root), subKey.c_str(), 0, nullptr, 0, access, nullptr, &k, nullptr);
  *result = reinterpret_cast<RegKey>(k);
  return rc;
}

long direct::RegCloseKey(RegKey key) { return ::RegCloseKey(K(key)); }

long RegQueryValueExA(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) {
  DWORD t = 0, n = size ? *size : 0;
  long rc = ::RegQueryValueExA(K(key), name.c_str(), nullptr, &t, data, size ? &n : nullptr);
  if (type) *type = t;
  if (size) *size = n;
  return rc;
}

long direct::RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  return ::RegSetValueExA(K(key), name.c_str(), 0, type, data, size);
}

long direct::RegDeleteValueA(RegKey key, const std::string& name) { return ::RegDeleteValueA(K(key), name.c_str()); }

long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys) {
  DWORD n = *subKeys;
  long rc = ::RegQueryInfoKeyA(K(key), nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr);
  *subKeys = n;
  return rc;
}

long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* size) {
  DWORD n = *size;
  FILETIME written;
  long rc = ::RegEnumKeyExA(K(key), index, name, &n, nullptr, nullptr, nullptr, &written);
  *size = n;
  return rc;
}

long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* size) {
  DWORD n = *size;
  long rc = ::RegEnumValueA(K(key), index, name, &n, nullptr, nullptr, nullptr, nullptr);
  *size = n;
  return rc;
}

// ---------------------------------------------------------------- user interface

int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}

namespace {

// The name of a window station or desktop; "" when it cannot be read.
std::string UserObjectName(HANDLE object, BOOL(WINAPI* getInformation)(HANDLE, int, PVOID, DWORD, LPDWORD)) {
  char name[256] = {};
  DWORD needed = 0;
  if (!object || !getInformation(object, UOI_NAME, name, sizeof name - 1, &needed)) return "";
  return name;
}

}  // namespace

bool IsWindowStationVisible() {
  typedef HWINSTA(WINAPI * GetStationFunction)();
  typedef BOOL(WINAPI * GetInformationFunction)(HANDLE, int, PVOID, DWORD, LPDWORD);
  typedef HDESK(WINAPI * GetThreadDesktopFunction)(DWORD);
  typedef HDESK(WINAPI * OpenInputDesktopFunction)(DWORD, BOOL, ACCESS_MASK);
  typedef BOOL(WINAPI * CloseDesktopFunction)(HDESK);
  GetStationFunction getStation = nullptr;
  GetInformationFunction getInformation = nullptr;
  GetThreadDesktopFunction getThreadDesktop = nullptr;
  OpenInputDesktopFunction openInputDesktop = nullptr;
  CloseDesktopFunction closeDesktop = nullptr;
  // Windows 9x has no window stations; user32 is imported, so loaded.
  HMODULE user = ::GetModuleHandleA("user32.dll");
  win32::Resolve(user, "GetProcessWindowStation", &getStation);
  win32::Resolve(user, "GetUserObjectInformationA", &getInformation);
  win32::Resolve(user, "GetThreadDesktop", &getThreadDesktop);
  win32::Resolve(user, "OpenInputDesktop", &openInputDesktop);
  win32::Resolve(user, "CloseDesktop", &closeDesktop);
  HWINSTA station = getStation ? getStation() : nullptr;
  USEROBJECTFLAGS flags;
  DWORD needed = 0;
  if (!station || !getInformation || !getInformation(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
  if ((flags.dwFlags & WSF_VISIBLE) == 0) return false;
  // In the visible station, only the desktop that takes the input is seen
  // (a deployment tool may start the program on a desktop of its own). The
  // input desktop cannot be opened while it is the secure one (a locked
  // workstation): then the program's own desktop is seen once it returns.
  if (!getThreadDesktop || !openInputDesktop || !closeDesktop) return true;
  const std::string own = UserObjectName(getThreadDesktop(::GetCurrentThreadId()), getInformation);
  HDESK input = openInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  const std::string seen = UserObjectName(input, getInformation);
  if (input) closeDesktop(input);
  return own.empty() || seen.empty() || ::lstrcmpiA(own.c_str(), seen.c_str()) == 0;
}

bool WriteStandardOutput(const std::string& text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  DWORD type = ::GetFileType(out);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) return false;
  DWORD written = 0;
  return ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

uint16_t RegisterMarkerClass(const std::string& name) {
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.style = CS_HREDRAW;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hIcon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32517));  // IDI_WINLOGO
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.lpszClassName = name.c_str();
  return ::RegisterClassA(&wc);
}

WindowHandle CreateMarkerWindow(const std::string& name) {
  HWND w = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, name.c_str(), name.c_str(),
                             WS_SYSMENU | WS_THICKFRAME, 0, 0, 1, 1, nullptr, nullptr, ::GetModuleHandleA(nullptr),
                             nullptr);
  return reinterpret_cast<WindowHandle>(w);
}

bool DestroyWindow(WindowHandle window) { return ::DestroyWindow(reinterpret_cast<HWND>(window)) != FALSE; }
bool UnregisterClassA(const std::string& name) {
  return ::UnregisterClassA(name.c_str(), ::GetModuleHandleA(nullptr)) != FALSE;
}

}  // namespace plat

namespace plat {

ProcessHandle CreateProcessA(const std::string& applicationName, const std::string& commandLine,
                             const std::string& currentDirectory, uint16_t showWindow) {
  std::string buffer = commandLine;  // CreateProcessA may write into its command line
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showWindow;
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  if (!::CreateProcessA(applicationName.empty() ? nullptr : applicationName.c_str(), &buffer[0], nullptr, nullptr,
                        FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &info))
    return 0;
  ::CloseHandle(info.hThread);
  return reinterpret_cast<ProcessHandle>(info.hProcess);
}

uint32_t WaitForProcess(ProcessHandle process) {
  HANDLE h = reinterpret_cast<HANDLE>(process);
  ::WaitForSingleObject(h, INFINITE);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(h, &code);
  ::CloseHandle(h);
  return code;
}

}  // namespace plat

// ---------------------------------------------------------------- 64-bit Windows

namespace plat {

bool IsWow64Process(bool* wow64) {
  *wow64 = false;
  // Windows 2000 and older have no IsWow64Process: look it up, do not import it.
  typedef BOOL(WINAPI * IsWow64ProcessFunction)(HANDLE, PBOOL);
  FARPROC found = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process");
  if (!found) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  IsWow64ProcessFunction isWow64Process;
  static_assert(sizeof isWow64Process == sizeof found, "function pointers of one size");
  std::memcpy(&isWow64Process, &found, sizeof found);
  BOOL result = FALSE;
  if (!isWow64Process(::GetCurrentProcess(), &result)) return false;
  *wow64 = result != FALSE;
  return true;
}

}  // namespace plat
