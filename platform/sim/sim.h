// Control of the simulated Windows behind the host build's platform layer.
// Tests set up a machine with these calls, run the program logic through
// platform.h, and then look at what it left behind.
//
// Files live in a real directory tree: drive C: is <root>/C, and names are
// matched without regard to case, as on Windows. The three file times are kept
// by the simulation itself. The registry is held in memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

// A new machine: Windows 2000 (platform 2, version 5.0 build 2195), Windows
// directory C:\WINDOWS, system directory C:\WINDOWS\SYSTEM32, current
// directory C:\WORK, the program at C:\SETUP\VQDINST.EXE, an administrator,
// TEMP=C:\TEMP, an empty registry apart from HKLM\SOFTWARE and
// HKCU\Software, no resources. Everything below root is deleted first.
void Reset(const std::string& root);

// ---- System
void SetVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build);
void SetSystemDirectory(const std::string& dir);   // "" makes the call fail
void SetWindowsDirectory(const std::string& dir);  // "" makes the call fail
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);
void SetModulePath(const std::string& path);
void SetCurrentDirectory(const std::string& dir);
void SetDateTimeText(const std::string& text);
// A non-administrator may read HKEY_LOCAL_MACHINE but not open it for writing.
void SetAdmin(bool admin);
// A 64-bit Windows running this 32-bit program. IsWow64Process exists only
// from Windows XP on (NT family, version 5.1 and later); on older systems the
// call is missing and the program must take the system for 32-bit.
void SetWow64(bool wow64);

// ---- Resources of the program image
void AddResource(const std::string& name, const std::string& type, const std::vector<uint8_t>& bytes);

// ---- Failures on demand
// The next `times` calls of the platform function named `function` (for
// example "CreateFileA", "WriteFile", "RegOpenKeyExA", "LoadResourceData")
// fail with ERROR_ACCESS_DENIED; with pathContains, only calls whose path or
// key path contains that text (case-insensitive) count. times < 0: always.
void FailCalls(const std::string& function, int times = -1, const std::string& pathContains = "");
// The same calls raise std::bad_alloc, as when memory runs out in the middle
// of an action.
void ThrowInCalls(const std::string& function, int times = -1, const std::string& pathContains = "");
// Every simulated call that can fail on Windows passes a failure point
// (the same place where FailCalls acts). From CountFailurePoints on, the
// points are recorded in order, and the failNth-th of them (from 1; 0 for
// none) fails with ERROR_ACCESS_DENIED. A test runs a scenario once to learn
// its points, then again once per point with that point failing.
struct FailurePoint {
  std::string function;  // "RegSetValueExA"
  std::string path;      // the file or key path the call names, if any
};
void CountFailurePoints(size_t failNth = 0);
// The same count, but the failNth-th point ends the process there (as a kill
// does): the call throws Killed, which no code of the program catches.
// EndProcess then closes what the process had open, as Windows does.
struct Killed {};
void CountFailurePointsAndKill(size_t killNth);
void EndProcess();
// The whole machine (registry, files with their times, everything set up)
// kept aside, and put back: a process that ended is looked at twice. Only
// between runs, with nothing open.
void SaveMachine();
void RestoreMachine();
void StopCountingFailurePoints();  // the points recorded so far stay
const std::vector<FailurePoint>& FailurePointsPassed();

// A call that fails at a failure point or by FailCalls does what Windows
// may have done before it failed: CopyFileA has emptied an existing target,
// WriteFile has written the first half.

// ---- Named mutexes
// Another run holds the mutex and goes on holding it: a wait times out.
void HoldMutexElsewhere(const std::string& name);
// Another user made the mutex first and gave this one no access to it.
void DenyMutex(const std::string& name);
// Whether this process holds the mutex now.
bool MutexHeld(const std::string& name);

// ---- Files
std::string HostPath(const std::string& windowsPath);
bool FileExists(const std::string& windowsPath);
bool DirectoryExists(const std::string& windowsPath);
void WriteFile(const std::string& windowsPath, const std::string& contents);  // creates parents
void WriteFile(const std::string& windowsPath, const std::vector<uint8_t>& contents);
std::string ReadFile(const std::string& windowsPath);
void MakeDirectory(const std::string& windowsPath);  // with parents
struct Times {
  plat::FileTime creation = 0, lastAccess = 0, lastWrite = 0;
};
Times FileTimes(const std::string& windowsPath);
// File attributes the program meets: a read-only file cannot be opened for
// writing, replaced or deleted (ERROR_ACCESS_DENIED); CREATE_ALWAYS and
// CopyFileA over a hidden or system file fail the same way. An open handle
// blocks DeleteFileA and MoveFileA of its file, and opens that its share mode
// does not allow, with ERROR_SHARING_VIOLATION.
void SetFileAttributes(const std::string& windowsPath, bool readOnly, bool hidden = false, bool system = false);
// A directory the user may not write to (a CD, a share read-only to him):
// creating, replacing, deleting or renaming anything directly in it fails
// with ERROR_ACCESS_DENIED; reading works.
void DenyWritesIn(const std::string& windowsDir);
// A directory that CreatePrivateDirectoryA made on the NT family: only
// SYSTEM, the Administrators and the program's user may use it.
bool IsPrivateDirectory(const std::string& windowsPath);
// A link at linkPath to targetPath, as another user could plant one: a
// symbolic link (a reparse point; to a file or a folder, which need not
// exist) or a hard link to a file. CreateFileA with CREATE_ALWAYS writes
// through either into the target; CREATE_NEW and CreateDirectoryA find the
// name taken; DeleteFileA of a link to a file removes the link; FindFirstFileA
// reports a symbolic link as a reparse point.
void MakeLink(const std::string& linkPath, const std::string& targetPath, bool hard = false);
// From now on FindFirstFileA and FindNextFileA report no reparse point for
// a symbolic link, as Wine 8 does; IsReparsePointA still sees it.
void HideLinksFromFind();
// The simulated clock, used for the times of files the program writes.
plat::FileTime Now();

// ---- Whole machines
// What a run can change of the machine, to be compared after it: every key
// and value of the registry (type and bytes), and every file below the
// given Windows directories with its bytes and three times.
struct MachineState {
  std::map<std::string, std::string> items;  // "HKLM\KEY", "HKLM\KEY\\VALUE", "C:\FILE"
};
MachineState CaptureMachine(const std::vector<std::string>& windowsDirs);
// What differs, one line an item ("changed ...", "gone ...", "new ..."), in
// the order of their names; empty when the machines are alike.
std::vector<std::string> CompareMachines(const MachineState& before, const MachineState& after);

// ---- Processes
// The only program the simulation can start is the registry editor of the
// Windows directory ("<WindowsDir>\REGEDIT.EXE /s FILE"). Its command line is
// split as a Windows program splits it (blanks separate arguments, double
// quotes group them), and each argument other than "/s" is a file it imports
// (one that cannot be read imports nothing). A REGEDIT4 file goes into the
// registry (keys, [-key], default and named string values, dword:, hex:,
// hex(2):, hex(7):, "name"=-). It exits with the code set here (0 by
// default). Anything else fails to start. Named as the program to start
// (lpApplicationName), it is that path resolved as Windows resolves it
// (against the current directory when relative); the command line is then
// only what the editor gets, its first word being taken as its own name. A
// current directory given for the new process must be an existing directory
// (else ERROR_DIRECTORY).
void SetRegistryEditorExitCode(uint32_t code);

// Keys that values alone do not make, under HKEY_LOCAL_MACHINE: a symbolic
// link to target (every open follows it, an open of the NT family's tree
// calls stops at it), a key's security descriptor (a text that is compared,
// never read), a volatile key (it can have only volatile subkeys).
void MakeRegistryLink(const std::string& path, const std::string& target);
void SetKeySecurity(const std::string& path, const std::string& security);
void MakeVolatileKey(const std::string& path);
// The command lines of the starts asked for, in order, also of failed ones.
std::vector<std::string> ProcessesStarted();
struct ProcessStart {
  std::string application;       // "": none named
  std::string commandLine;
  std::string currentDirectory;  // "": the caller's
};
const std::vector<ProcessStart>& ProcessStarts();

// ---- User interface
struct MessageBoxCall {
  std::string text;
  std::string caption;
  uint32_t type = 0;
  bool markerWindowPresent = false;  // the marker window existed while it was shown
  plat::WindowHandle owner = 0;      // 0: a box without owner
};
// Answers for the coming message boxes, in order. Without one, a box is
// answered with its first button (IDOK, or IDNO for a Yes/No box, so that no
// test reboots by accident).
void AnswerMessageBox(int answer);
const std::vector<MessageBoxCall>& MessageBoxes();
bool MarkerWindowExists();
// A window station nobody sees (a service's, a deployment tool's): NT family.
void SetWindowStationVisible(bool visible);
// A standard output handle (a file or pipe) given at start, and what was
// written to it.
void SetStandardOutput(bool present);
std::string StandardOutput();
bool MarkerClassRegistered();
// How many times the program dispatched its pending window messages.
size_t MessageDispatches();

// ---- Dialog windows
// Windows and controls as the program made them. Text is measured with the
// widths Wine's "MS Sans Serif" has at 96 pixels per inch (8 and 10 points,
// regular and bold), scaled for other heights. A dialog's frame adds 3 pixels
// on each side and a caption of 19 pixels (16 for a tool window), scaled with
// the screen's pixels per inch.
struct ControlState {
  plat::WindowHandle handle = 0;
  int id = 0;
  plat::ControlKind kind = plat::ControlKind::kLabel;
  std::string text;
  plat::Rect rect;  // in the dialog's client coordinates
  bool visible = false;
  bool enabled = true;
  plat::ControlStyle style;
  int tabIndex = -1;  // buttons: place in the tab order, from 0
};
struct WindowState {
  plat::WindowHandle handle = 0;
  std::string className;
  std::string caption;
  plat::FrameKind frame = plat::FrameKind::kDialog;
  plat::Rect rect;    // screen coordinates
  plat::Rect client;  // size of the client area
  bool visible = false;
  plat::WindowHandle focus = 0;  // the control with the focus while it was shown
  std::vector<ControlState> controls;  // in the order of creation
  // The control with this handle; a test failure (nullptr) when there is none.
  const ControlState* Control(plat::WindowHandle control) const;
};
std::vector<WindowState> Windows();  // every live top-level window but the marker
void SetScreenDpi(int dpi);          // 96 by default
void SetScreenSize(int width, int height);  // 1024 by 768 by default

// The user at a modal dialog: clicking a control (its id), or kCloseBox. With
// shiftCtrlAlt the Shift, Ctrl and Alt keys are held down during the click
// (GetKeyState reports them down); otherwise no key is down.
constexpr int kCloseBox = -1;
struct UserAction {
  int controlId = kCloseBox;
  bool shiftCtrlAlt = false;
};
// Actions for the coming modal dialogs, in order, across passes of a loop.
void ScriptDialog(const std::vector<UserAction>& actions);
// What the user saw each time a modal dialog waited for an action: once when
// it was shown and again after each click that did not end it.
const std::vector<WindowState>& DialogViews();
// Faults of a script, in order: a click on a control that is missing, hidden
// or disabled (the click does nothing), or a modal dialog shown with no action
// left (it is then closed by its close box).
const std::vector<std::string>& DialogScriptErrors();
// The top-level windows visible each time the program let its windows paint
// (DispatchPendingMessages), leaving out a paint that shows the same as the
// one before it.
const std::vector<std::vector<WindowState>>& Paints();

// ---- CD-ROM devices (SetupAPI) and threads
// A CD-ROM drive listed under the CD-ROM device interface class. Its answers
// to a restart (stop, then start, through the class installer) are scripted.
enum class DeviceStep { None, SetParamsStop, Stop, SetParamsStart, Start, GetInstallParams };
struct CdromDevice {
  std::string objectName = "\\Device\\CdRom0";  // "": no such property (ERROR_INVALID_DATA)
  // A missing object name fails without touching the last error or the
  // required size, as Wine does.
  bool objectNameQuiet = false;
  // The friendly name's data without its final zero ("A\0B" for a
  // multi-string); type kRegNone: the device has none.
  std::string friendlyName = "CD-ROM Drive";
  uint32_t friendlyNameType = plat::kRegSz;
  bool present = true;  // DIGCF_PRESENT lists only present devices
  DeviceStep failsAt = DeviceStep::None;
  uint32_t error = 31;  // the last error of the failing step (ERROR_GEN_FAILURE)
  uint32_t flagsAfterStart = 0;  // install flags after a start (DI_NEEDREBOOT, DI_NEEDRESTART)
  std::string instanceId;  // "": "IDE\CDROM\" and its index (up to 200 characters on Windows)
};
void AddCdromDevice(const CdromDevice& device);
// False while a restart has stopped the device and not started it again.
bool CdromDeviceRunning(size_t index);
// Its configuration flags in the current hardware profile: a stop for that
// profile sets CSCONFIGFLAG_DO_NOT_START, a start clears it, and so does
// CM_Set_HW_Prof_FlagsA.
uint32_t CdromDeviceProfileFlags(size_t index);
// setupapi.dll cannot be loaded: every SetupAPI call fails with
// ERROR_MOD_NOT_FOUND.
void RemoveSetupApi();
// setupapi.dll without SetupUninstallOEMInfA, as before Windows XP.
void RemoveSetupUninstallOEMInf();
// During the next SetupCopyOEMInfA another program stores text in the
// store first (a device plugged in at that moment brings its INF).
void StoreInfDuringNextCopy(const std::string& text);
// The device calls in order, one line each:
//   "SetupDiGetClassDevsA {GUID} flags=0x1A"
//   "SetupDiSetClassInstallParamsA device=0 size=20 header=8 function=0x12 state=5 scope=2 profile=0"
//   "SetupDiCallClassInstaller device=0 function=0x12"
//   "SetupDiGetDeviceInstallParamsA device=0 size=296"
//   "SetupDiGetDeviceInstanceIdA device=0"
//   "CM_Get_HW_Prof_FlagsA IDE\CDROM\0 profile=0"
//   "CM_Set_HW_Prof_FlagsA IDE\CDROM\0 profile=0 value=0x0"
//   "SetupDiDestroyDeviceInfoList"
//   "Sleep 1000"
// (device: the index of AddCdromDevice). A refused call is recorded too.
const std::vector<std::string>& DeviceCalls();
size_t OpenDeviceSets();  // device sets not yet destroyed
// Threads run for real. Simulated time passes only while the main thread
// waits for a thread that sleeps: a Sleep(1000) of a worker lasts through
// ten WaitForSingleObject(thread, 100) of the main thread. A Sleep of the
// main thread returns at once.
size_t ThreadsCreated();

// ---- Shutdown
// Whether the user holds the shutdown privilege (by default yes). Without it,
// AdjustTokenPrivileges reports success with ERROR_NOT_ALL_ASSIGNED, and
// ExitWindowsEx on the NT family fails with ERROR_PRIVILEGE_NOT_HELD.
void SetShutdownPrivilegeHeld(bool held);
bool ShutdownPrivilegeEnabled();
int OpenTokenHandles();
// Every ExitWindowsEx call, in order; `accepted` when the system would have
// shut down. Nothing is ever shut down.
struct ExitWindowsCall {
  uint32_t flags = 0;
  bool accepted = false;
};
const std::vector<ExitWindowsCall>& ExitWindowsCalls();

}  // namespace sim
