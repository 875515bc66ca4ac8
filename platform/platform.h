// The platform layer: every Windows service the installer uses, in its 8-bit
// form. Two backends implement it: platform/win32 (the real system) and
// platform/sim (a simulated Windows for the host build). Nothing outside
// platform/ includes <windows.h>.
//
// The functions keep the names and the semantics of the Win32 calls they stand
// for; only the types are simplified. Return values follow Win32: registry
// calls return an error code (0 = success), the others a success boolean or a
// size, and GetLastError tells why a call failed.
//
// The calls that change the system stand together at the end, under
// "Changes to the system": while an action runs under the journal
// (platform/journal.h) each of them first writes down what it replaces, on
// disk, and only then makes its change; when that cannot be done, the
// change is not made and the call fails as if Windows had refused it. They
// never change a file in place (see there).
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// ---- Error codes (the Win32 values)
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorResourceTypeNotFound = 1813;
constexpr uint32_t kErrorResourceNameNotFound = 1814;
constexpr uint32_t kErrorResourceDataNotFound = 1812;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorFileExists = 80;

uint32_t GetLastError();

// ---- System information
constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWin32Windows = 1;
constexpr uint32_t kPlatformWin32NT = 2;

struct OsVersionInfo {
  uint32_t size = 148;  // dwOSVersionInfoSize of OSVERSIONINFOA
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
};
bool GetVersionExA(OsVersionInfo* info);

// Both fill buf (size bytes) and return the length, or 0 on failure.
uint32_t GetSystemDirectoryA(char* buf, uint32_t size);
uint32_t GetWindowsDirectoryA(char* buf, uint32_t size);

// Returns the length copied (without terminator); when size is too small, the
// size needed (with terminator) and buf is left alone; 0 when not set.
uint32_t GetEnvironmentVariableA(const char* name, char* buf, uint32_t size);

// Full path of the running program (GetModuleFileNameA of the own module).
std::string GetModuleFileNameA();

// Current local date and time: the user's short date format, a blank and the
// user's long time format.
std::string LocalDateTimeText();

// ---- 64-bit Windows
constexpr uint32_t kErrorProcNotFound = 127;
// IsWow64Process of the own process: *wow64 tells whether this 32-bit program
// runs on a 64-bit Windows. kernel32 has the call only from Windows XP on, so
// it is looked up at run time; where it is missing the result is false with
// ERROR_PROC_NOT_FOUND, and the system is a 32-bit one.
bool IsWow64Process(bool* wow64);

// ---- Files
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

enum class Access { Read, Write, ReadWrite };
// CreateNew (CREATE_NEW) fails with ERROR_FILE_EXISTS on any existing name: a
// file, a directory, a link (whatever it points to, if anything). CreateAlways
// on a link writes the file the link points to, as Windows does.
enum class Disposition { CreateAlways, CreateNew, OpenExisting };

// FILETIME: 100-nanosecond intervals since 1 January 1601 UTC.
using FileTime = uint64_t;

constexpr uint32_t kFileShareRead = 1;   // FILE_SHARE_READ
constexpr uint32_t kFileShareWrite = 2;  // FILE_SHARE_WRITE
// An open that the share mode of an open handle does not allow, or DeleteFileA
// and MoveFileA of an open file (no open here shares deleting).
constexpr uint32_t kErrorSharingViolation = 32;

bool WriteFile(FileHandle file, const void* data, uint32_t size, uint32_t* written);
bool ReadFile(FileHandle file, void* data, uint32_t size, uint32_t* read);
// A null pointer leaves that time unchanged / unread; so does a zero time.
bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                 const FileTime* lastWrite);
bool GetFileTime(FileHandle file, FileTime* creation, FileTime* lastAccess, FileTime* lastWrite);
// Closes a file, directory or mutex handle.
bool CloseHandle(FileHandle file);
// Writes what the system still holds of the file's data to the disk: what
// was written before it returns survives a crash of the machine too.
bool FlushFileBuffers(FileHandle file);

bool CreateDirectoryA(const std::string& path);
// CreateDirectoryA with SECURITY_ATTRIBUTES whose descriptor gives full
// control to SYSTEM, the Administrators group and the user of the process
// token only, protected from the parent's inheritable entries where the system
// knows that (Windows 2000 and later). The security functions are looked up at
// run time. On the NT family, when the descriptor cannot be built, nothing is
// created and the call fails (with the reason in GetLastError): a directory
// that everybody could write is never made. Windows 9x has no security: there
// it is a plain CreateDirectoryA.
bool CreatePrivateDirectoryA(const std::string& path);
// Whether a directory is one CreatePrivateDirectoryA could have made: on the
// NT family its owner is SYSTEM, the Administrators group or the user of the
// process token, and its DACL allows nobody else anything (GetFileSecurityA,
// looked up at run time; false where it cannot be read). Windows 9x has no
// security: there any directory is.
bool IsPrivateDirectoryA(const std::string& path);
bool RemoveDirectoryA(const std::string& path);
// CreateFileA of a directory (FILE_FLAG_BACKUP_SEMANTICS) for listing it,
// sharing reading and writing but not deleting: while the handle is open
// nobody can rename, move or remove the directory (ERROR_SHARING_VIOLATION),
// this program neither; files in it can still be made and deleted. The NT
// family only (Windows 9x opens no directory). Closed with CloseHandle.
FileHandle OpenDirectoryA(const std::string& path);

// Whether the name is a symbolic link or junction (a reparse point) instead
// of the file or folder itself: FILE_ATTRIBUTE_REPARSE_POINT of its directory
// entry, or, where kernel32 has GetFinalPathNameByHandleA (Vista and later;
// looked up at run time), a final path other than its folder's final path
// and its own name. Wine reports no reparse point for a Unix symbolic link
// (and its DeleteFileA and RemoveDirectoryA then delete the target): the
// final path tells it. A hard link is not one. False when nothing is there.
bool IsReparsePointA(const std::string& path);

struct FindData {
  std::string name;  // file name without directory
  bool directory = false;
  // FILE_ATTRIBUTE_REPARSE_POINT (0x400): a symbolic link or junction. A
  // directory link is also `directory`.
  bool reparsePoint = false;
  bool readOnly = false;  // FILE_ATTRIBUTE_READONLY
};
using FindHandle = intptr_t;
constexpr FindHandle kInvalidFind = -1;
// pattern: a directory followed by "\*.*", "\*" or a file name (no other wildcards).
FindHandle FindFirstFileA(const std::string& pattern, FindData* found);
bool FindNextFileA(FindHandle find, FindData* found);
bool FindClose(FindHandle find);

// A read-only view of a whole file (CreateFileA for reading, shared for
// reading; CreateFileMappingA PAGE_READONLY; MapViewOfFile FILE_MAP_READ).
// On failure everything obtained is released and false returned.
struct FileView {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  intptr_t file = -1;
  intptr_t mapping = 0;
};
bool MapWholeFile(const std::string& path, FileView* view);
void UnmapWholeFile(FileView* view);

// ---- Version information
uint32_t GetFileVersionInfoSizeA(const std::string& path);
bool GetFileVersionInfoA(const std::string& path, uint32_t size, void* block);
// version.dll is loaded at run time from the system directory; where it is
// missing, no file has version information. blockSize bounds every read: the
// host's reader checks each node against it, the system's is handed the block
// with a root node that claims more than blockSize cut to it, and a value or
// length it returns that does not lie inside the block is refused. Understands the 32-bit layout of executables and the 16-bit
// layout of VxD version data. A string comes back as a pointer into the block
// and its length as stored, which counts a terminator only when the file has
// one: callers read at most that many characters. A string of a 32-bit block
// is converted to 8 bits inside the block, which is why the block is writable.
bool VerQueryValueA(void* block, uint32_t blockSize, const std::string& subBlock,
                    const void** value, uint32_t* length);

// ---- Resources of the program's own image
using ResourceHandle = intptr_t;
ResourceHandle FindResourceA(const std::string& name, const std::string& type);  // 0: none
// LoadResource + LockResource + SizeofResource.
bool LoadResourceData(ResourceHandle resource, const uint8_t** data, uint32_t* size);

// ---- Registry
using RegKey = uintptr_t;
constexpr RegKey kHKeyCurrentUser = 0x80000001u;
constexpr RegKey kHKeyLocalMachine = 0x80000002u;

constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// The journal notes the path of each key opened under HKEY_LOCAL_MACHINE.
long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result);
long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result);
long RegCloseKey(RegKey key);
// data may be null to ask for type and size; *size is the buffer size in and
// the value size out (kErrorMoreData when the buffer is too small).
long RegQueryValueExA(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                      uint32_t* size);
// Only the number of subkeys is asked for.
long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys);
// *size: the buffer size in, the name length (without terminator) out.
long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* size);
// The name of the index-th value, as RegEnumKeyExA gives a subkey's (type and
// data are read with RegQueryValueExA).
long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* size);

// ---- Shutdown
// The shutdown privilege of the process token, and the shutdown itself.
// Windows 9x has no tokens: there the token calls fail with
// ERROR_CALL_NOT_IMPLEMENTED and ExitWindowsEx needs no privilege; on the NT
// family ExitWindowsEx fails with ERROR_PRIVILEGE_NOT_HELD unless the
// privilege is enabled in the process token.
enum class TokenHandle : intptr_t {};
constexpr uint32_t kTokenAdjustPrivileges = 0x20;  // TOKEN_ADJUST_PRIVILEGES
constexpr uint32_t kTokenQuery = 0x8;               // TOKEN_QUERY
constexpr uint32_t kSePrivilegeEnabled = 2;         // SE_PRIVILEGE_ENABLED
constexpr uint32_t kEwxReboot = 2;                  // EWX_REBOOT
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorNotAllAssigned = 1300;
constexpr uint32_t kErrorNoSuchPrivilege = 1313;
constexpr uint32_t kErrorPrivilegeNotHeld = 1314;

struct Luid {  // LUID
  uint32_t lowPart = 0;
  int32_t highPart = 0;
};

// OpenProcessToken(GetCurrentProcess(), access, &token).
bool OpenProcessToken(uint32_t access, TokenHandle* token);
// LookupPrivilegeValueA(NULL, name, &luid): the identifier of a privilege on
// the local system.
bool LookupPrivilegeValueA(const std::string& name, Luid* luid);
// AdjustTokenPrivileges(token, FALSE, a list of this one privilege with these
// attributes, 0, NULL, NULL). It reports success also when the user does not
// hold the privilege: GetLastError then tells ERROR_NOT_ALL_ASSIGNED, and 0
// when everything was assigned.
bool AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, uint32_t attributes);
bool CloseHandle(TokenHandle token);
// ExitWindowsEx(flags, reserved). It returns at once; the system shuts down on
// its own afterwards.
bool ExitWindowsEx(uint32_t flags, uint32_t reserved);

// ---- Processes
using ProcessHandle = intptr_t;
// CreateProcessA of applicationName, the program's full path (empty: none,
// the system then takes the program from the command line and looks for it,
// beside this program and in the current directory among other places), with
// the command line as the program gets it, handles not inherited,
// CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, no environment block, the
// current directory currentDirectory (empty: the caller's), and
// STARTF_USESHOWWINDOW with showWindow. 0 when the process could not be
// started.
ProcessHandle CreateProcessA(const std::string& applicationName, const std::string& commandLine,
                             const std::string& currentDirectory, uint16_t showWindow);
// Waits without a time-out, returns the exit code and closes the handles.
uint32_t WaitForProcess(ProcessHandle process);

// ---- SetupAPI
// setupapi.dll is loaded at run time from the system directory; where it or
// one of its functions is missing, the calls below fail as if the system had
// refused them.
constexpr uint32_t kSpostNone = 0;           // SPOST_NONE
constexpr uint32_t kSpCopyDeleteSource = 1;  // SP_COPY_DELETESOURCE
// SetupCopyOEMInfA is under "Changes to the system" below.

// The device calls of the CD-ROM restart. Records are passed with the size
// fields of their 32-bit layout; a wrong size is refused as Windows refuses
// it (ERROR_INVALID_USER_BUFFER).
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorInvalidUserBuffer = 1784;

struct Guid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};
// GUID_DEVINTERFACE_CDROM: the device interface class of CD-ROM drives.
constexpr Guid kGuidDevInterfaceCdrom = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

constexpr uint32_t kDigcfPresent = 0x02;          // DIGCF_PRESENT
constexpr uint32_t kDigcfProfile = 0x08;          // DIGCF_PROFILE
constexpr uint32_t kDigcfDeviceInterface = 0x10;  // DIGCF_DEVICEINTERFACE

using DevInfoSet = intptr_t;
constexpr DevInfoSet kInvalidDevInfoSet = -1;  // INVALID_HANDLE_VALUE
// The devices of a setup or interface class (no enumerator, no window).
DevInfoSet SetupDiGetClassDevsA(const Guid* classGuid, uint32_t flags);
bool SetupDiDestroyDeviceInfoList(DevInfoSet set);

// SP_DEVINFO_DATA; cbSize 28.
struct SpDevInfoData {
  uint32_t cbSize = 0;
  Guid classGuid = {};
  uint32_t devInst = 0;
  uintptr_t reserved = 0;
};
// False past the last device (ERROR_NO_MORE_ITEMS).
bool SetupDiEnumDeviceInfo(DevInfoSet set, uint32_t index, SpDevInfoData* device);

constexpr uint32_t kSpdrpFriendlyName = 0x0C;              // SPDRP_FRIENDLYNAME
constexpr uint32_t kSpdrpPhysicalDeviceObjectName = 0x0E;  // SPDRP_PHYSICAL_DEVICE_OBJECT_NAME
// With no buffer: false, ERROR_INSUFFICIENT_BUFFER and the size needed. A
// missing property fails; the system may then leave the last error and
// *requiredSize as they were.
bool SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, const SpDevInfoData* device, uint32_t property,
                                       uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize,
                                       uint32_t* requiredSize);

constexpr uint32_t kDifPropertyChange = 0x12;     // DIF_PROPERTYCHANGE
constexpr uint32_t kDicsStart = 4;                // DICS_START
constexpr uint32_t kDicsStop = 5;                 // DICS_STOP
constexpr uint32_t kDicsFlagConfigSpecific = 2;   // DICS_FLAG_CONFIGSPECIFIC
// SP_PROPCHANGE_PARAMS (20 bytes): the class install header (cbSize 8 and
// the install function), then state change, scope and hardware profile.
struct SpPropChangeParams {
  uint32_t cbSize = 0;
  uint32_t installFunction = 0;
  uint32_t stateChange = 0;
  uint32_t scope = 0;
  uint32_t hwProfile = 0;
};
bool SetupDiSetClassInstallParamsA(DevInfoSet set, SpDevInfoData* device, const SpPropChangeParams* params,
                                   uint32_t paramsSize);
// Runs the class installer (and its default handler) on the device with the
// class install parameters set before.
bool SetupDiCallClassInstaller(uint32_t installFunction, DevInfoSet set, SpDevInfoData* device);

constexpr uint32_t kDiNeedRestart = 0x80;  // DI_NEEDRESTART
constexpr uint32_t kDiNeedReboot = 0x100;  // DI_NEEDREBOOT
// SP_DEVINSTALL_PARAMS_A; cbSize 296. Only Flags and FlagsEx come back.
struct SpDevInstallParams {
  uint32_t cbSize = 0;
  uint32_t flags = 0;
  uint32_t flagsEx = 0;
};
bool SetupDiGetDeviceInstallParamsA(DevInfoSet set, SpDevInfoData* device, SpDevInstallParams* params);

// The device's instance ID ("IDE\CDROM...\5&1&0&0") into a buffer of
// bufferSize bytes with its terminator; a buffer too small fails with
// ERROR_INSUFFICIENT_BUFFER and the size needed.
bool SetupDiGetDeviceInstanceIdA(DevInfoSet set, const SpDevInfoData* device, char* buffer, uint32_t bufferSize,
                                 uint32_t* requiredSize);

// Configuration manager: a device's configuration flags in a hardware
// profile (0: the current one), by its instance ID. A stop through the class
// installer for one profile (DICS_STOP with DICS_FLAG_CONFIGSPECIFIC) sets
// CSCONFIGFLAG_DO_NOT_START there, so the device stays off at the next start
// of Windows too; the start (DICS_START) clears it. The results are CONFIGRET
// codes. Resolved from setupapi.dll (which holds them on Windows 2000 and XP
// and forwards them to cfgmgr32.dll later); missing, they answer
// CR_CALL_NOT_IMPLEMENTED.
constexpr uint32_t kCrSuccess = 0x00;              // CR_SUCCESS
constexpr uint32_t kCrNoSuchDevinst = 0x0D;        // CR_NO_SUCH_DEVINST
constexpr uint32_t kCrFailure = 0x13;              // CR_FAILURE
constexpr uint32_t kCrCallNotImplemented = 0x34;   // CR_CALL_NOT_IMPLEMENTED
constexpr uint32_t kCsConfigFlagDoNotStart = 0x4;  // CSCONFIGFLAG_DO_NOT_START
uint32_t CM_Get_HW_Prof_FlagsA(const std::string& deviceInstanceId, uint32_t hardwareProfile, uint32_t* value,
                               uint32_t flags);
uint32_t CM_Set_HW_Prof_FlagsA(const std::string& deviceInstanceId, uint32_t config, uint32_t value,
                               uint32_t flags);

// ---- Threads
void Sleep(uint32_t milliseconds);

using ThreadHandle = intptr_t;
using ThreadProc = uint32_t (*)(void* parameter);
// CreateThread with default security and stack size, running at once; its
// exit code is proc's result. 0 when it could not be created.
ThreadHandle CreateThread(ThreadProc proc, void* parameter);
constexpr uint32_t kWaitObject0 = 0;      // WAIT_OBJECT_0: the thread has ended
constexpr uint32_t kWaitTimeout = 258;    // WAIT_TIMEOUT
constexpr uint32_t kInfinite = 0xFFFFFFFF;
// A thread (kWaitObject0: it has ended) or a mutex (below).
uint32_t WaitForSingleObject(ThreadHandle thread, uint32_t milliseconds);
constexpr uint32_t kStillActive = 259;    // STILL_ACTIVE
bool GetExitCodeThread(ThreadHandle thread, uint32_t* exitCode);
// CloseHandle of a thread handle; the thread itself runs on.
bool CloseThreadHandle(ThreadHandle thread);

// A named mutex: CreateMutexA without initial owner, on the NT family with
// a DACL that gives SYSTEM, the Administrators group and the user of the
// process token full control and nobody else anything (as
// CreatePrivateDirectoryA's). One that exists is opened; one that another
// user made and this one may not open fails with ERROR_ACCESS_DENIED. 0 on
// failure. WaitForSingleObject takes it: kWaitObject0, or kWaitAbandoned
// when the process that held it ended without releasing it (the caller then
// holds it). Released with ReleaseMutex, closed with CloseHandle; a process
// that ends lets go of its own.
using MutexHandle = intptr_t;
constexpr uint32_t kWaitAbandoned = 0x80;  // WAIT_ABANDONED
MutexHandle CreateMutexA(const std::string& name);
bool ReleaseMutex(MutexHandle mutex);

// ---- User interface
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbIconError = 0x10;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Whether a person can see this process's windows: on the NT family the
// WSF_VISIBLE flag of its window station (GetProcessWindowStation and
// GetUserObjectInformationA with UOI_FLAGS; a service's or a deployment
// tool's station has it clear), and in the visible station whether the
// thread's desktop is the one that takes the input (GetThreadDesktop,
// OpenInputDesktop, their UOI_NAME), all looked up in user32 at run time.
// True on Windows 9x, and where the system does not tell.
bool IsWindowStationVisible();

// Writes text to the standard output handle the process was started with,
// when that is a file or a pipe (GetStdHandle, GetFileType); false when there
// is none, it is something else (a console), or the write fails. Never makes
// a console.
bool WriteStandardOutput(const std::string& text);

// A message box with no owner window; the answer's button id, 0 on failure.
int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type);

// The hidden marker window: RegisterClassA of a class with the given name
// (CS_HREDRAW, DefWindowProcA, IDI_WINLOGO, IDC_ARROW) and CreateWindowExA of
// an invisible 1x1 tool window of that class and title.
using WindowHandle = uintptr_t;
uint16_t RegisterMarkerClass(const std::string& name);  // 0 on failure
WindowHandle CreateMarkerWindow(const std::string& name);   // 0 on failure
bool DestroyWindow(WindowHandle window);
bool UnregisterClassA(const std::string& name);

// PeekMessageA(PM_REMOVE), TranslateMessage and DispatchMessageA until the
// calling thread's queue is empty, so that its windows stay responsive.
void DispatchPendingMessages();

// ---- Dialog windows
// The interactive mode builds its two windows control by control with
// CreateWindowExA, at pixel positions: a dialog template in dialog units would
// move them with the system font. Controls are "STATIC" labels and "BUTTON"
// push buttons in the face "MS Sans Serif" at the given pixel height (negative:
// character height, as LOGFONT.lfHeight).
constexpr uint32_t kMbIconWarning = 0x30;

// A message box owned by a window (0: no owner, as MessageBoxA above).
int MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption,
                uint32_t type);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

enum class FrameKind {
  kDialog,      // single fixed border, caption, system menu only (close box)
  kToolWindow,  // WS_EX_TOOLWINDOW caption with no border icons: cannot be closed
};

// A hidden top-level window of the window class `className` (registered on
// first use, background COLOR_BTNFACE) whose client area is clientWidth by
// clientHeight. 0 on failure.
WindowHandle CreateDialogWindow(const std::string& className, const std::string& caption,
                                FrameKind frame, int clientWidth, int clientHeight);

enum class ControlKind { kLabel, kButton };
constexpr uint32_t kClrDefault = 0xFFFFFFFF;  // text colour of the system (COLOR_BTNTEXT)
constexpr uint32_t kClrRed = 0x000000FF;      // COLORREF RGB(255, 0, 0)
constexpr uint32_t kClrBlue = 0x00FF0000;     // COLORREF RGB(0, 0, 255)

struct ControlStyle {
  int fontHeight = -11;
  bool bold = false;
  uint32_t textColor = kClrDefault;
  bool wordWrap = false;  // labels: SS_LEFT wraps at the width, else one line
  bool centred = false;   // labels: SS_CENTER
  bool visible = true;
  // Buttons are tab stops in the order of their creation.
};

// A child control of `dialog` with id `id` at x, y (client coordinates) of
// width by height pixels. Labels never process '&'. 0 on failure.
WindowHandle CreateControl(WindowHandle dialog, ControlKind kind, int id, const std::string& text,
                           int x, int y, int width, int height, const ControlStyle& style);

bool SetWindowTextA(WindowHandle window, const std::string& text);
std::string GetWindowTextA(WindowHandle window);
// ShowWindow with SW_SHOW or SW_HIDE. Showing a top-level window also paints it
// once it dispatches its messages.
bool ShowWindow(WindowHandle window, bool show);
bool IsWindowVisible(WindowHandle window);  // false too while its parent is hidden
// GetWindowStyle (GetWindowLongA GWL_STYLE): WS_VISIBLE is the window's own
// flag, set for a control of a hidden dialog that will show with it.
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsDisabled = 0x08000000;
uint32_t GetWindowStyle(WindowHandle window);
bool EnableWindow(WindowHandle window, bool enable);
bool IsWindowEnabled(WindowHandle window);
// GetWindowRect: screen coordinates for a top-level window, the parent's
// client coordinates for a control (as MapWindowPoints would give them).
bool GetWindowRect(WindowHandle window, Rect* rect);
bool GetClientRect(WindowHandle window, Rect* rect);  // left and top are 0
// MoveWindow: in the same coordinates as GetWindowRect; repaints.
bool MoveWindow(WindowHandle window, int x, int y, int width, int height);

// The size `text` takes in the font of `control` (GetTextExtentPoint32A; the
// height is the font's tmHeight even for an empty text).
struct Size {
  int cx = 0, cy = 0;
};
Size MeasureText(WindowHandle control, const std::string& text);

// GetDeviceCaps(screen, LOGPIXELSY): 96 normally, 120 with large fonts.
int GetScreenDpi();
constexpr int kSmCxScreen = 0;
constexpr int kSmCyScreen = 1;
int GetSystemMetrics(int index);

// GetKeyState: negative while the key is held down.
constexpr int kVkShift = 0x10;
constexpr int kVkControl = 0x11;
constexpr int kVkMenu = 0x12;
int16_t GetKeyState(int virtualKey);

// Shows `dialog`, activates it, puts the focus on `focus` the first time (then
// on the control that had it when the dialog was last left), and runs a modal
// message loop: Tab moves between the buttons, Enter and Space press the focused
// one. A button's click calls onCommand with its id; a non-zero answer ends the
// loop with that result. The close box gives 2. The dialog is hidden again
// before the result is returned.
using CommandHandler = int (*)(int controlId);
int RunModalDialog(WindowHandle dialog, WindowHandle focus, CommandHandler onCommand);

// ---- Changes to the system
// Recorded by the journal while an action runs (platform/journal.h), then
// made by the backend (platform/direct.h); a change whose old state cannot
// be kept is not made. Under the journal a file that exists is never
// written in place: CreateFileA for writing fails on it (ERROR_FILE_EXISTS
// for CreateNew, else ERROR_ACCESS_DENIED); CopyFileA copies to a fresh
// name beside the target and renames it in once whole, the old file moved
// aside; DeleteFileA moves the file aside (a read-only one is refused, as
// Windows refuses it); the asides go once the action succeeded.

// shareMode: what other opens of the file may do while this handle is open.
// Recorded only when it may write or create.
FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition);
bool DeleteFileA(const std::string& path);
bool MoveFileA(const std::string& from, const std::string& to);
bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists);

// Only changes under HKEY_LOCAL_MACHINE are recorded. A create records the
// first key of its path that is not there; a delete the key's whole tree
// (a symbolic link there is deleted itself, never the key it points to).
long RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result);
long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result);
long RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                    uint32_t size);
long RegDeleteValueA(RegKey key, const std::string& name);
// The NT family deletes no key with subkeys (ERROR_ACCESS_DENIED); Windows
// 9x deletes the whole tree.
long RegDeleteKeyA(RegKey key, const std::string& subKey);

// SetupCopyOEMInfA(source, media location, media type, copy style) with no
// destination name buffer: copies a setup information file (and the catalog
// it names) into the system's store of them. False on failure, with the
// reason in GetLastError. Recorded: the store's names before it and the
// INF's bytes, so that the undo takes out the INF this call stored.
bool SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                      uint32_t oemSourceMediaType, uint32_t copyStyle);

}  // namespace plat
