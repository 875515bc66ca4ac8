// The state of the simulated Windows and the helpers its parts share. Only
// the files of platform/sim include this.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

namespace sim::internal {

struct RegValue {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct RegNode {
  std::string name;
  std::vector<std::shared_ptr<RegNode>> subkeys;  // sorted by upper-case name
  std::vector<RegValue> values;
  RegNode* parent = nullptr;
  bool deleted = false;
  bool isVolatile = false;
  std::string link;      // a symbolic link: the path under HKLM it points to
  std::string security;  // as set; "" is the default a new key gets
};

struct KeyHandle {
  std::shared_ptr<RegNode> node;
  bool writable = true;
  bool localMachine = false;
  std::string path;  // for failure filters
};

struct FailRule {
  std::string function;
  std::string pathContains;
  int remaining;
  bool throws = false;  // the call raises std::bad_alloc instead of failing
};

struct OpenFile {
  int fd = -1;
  std::string key;  // upper-case Windows path, key of the time table
  plat::Access access = plat::Access::Read;
  uint32_t share = 0;  // FILE_SHARE_READ | FILE_SHARE_WRITE given to CreateFileA
};

struct Search {
  std::vector<plat::FindData> entries;
  size_t next = 0;
  std::string pattern;  // as given to FindFirstFileA, for the failure points
};

struct Resource {
  std::string name, type;
  std::vector<uint8_t> bytes;
};

struct CdromDeviceState {
  sim::CdromDevice script;
  bool running = true;
  uint32_t installFlags = 0;
  bool paramsSet = false;
  plat::SpPropChangeParams params;
  uint32_t profileFlags = 0;  // in the current hardware profile (CSCONFIGFLAG_*)
};

struct Machine {
  std::string root;
  plat::OsVersionInfo version;
  std::string systemDir, windowsDir, modulePath, currentDir, dateTime;
  std::map<std::string, std::string> environment;  // upper-case names
  bool admin = true;
  bool findHidesLinks = false;  // FindFirstFileA reports no reparse point, as Wine 8
  uint32_t lastError = 0;
  plat::FileTime clock = 0;

  std::map<std::string, sim::Times> times;  // by upper-case Windows path
  std::map<std::string, uint32_t> attributes;  // read-only, hidden, system bits by upper-case path
  std::map<intptr_t, OpenFile> files;
  std::map<intptr_t, Search> searches;
  std::map<intptr_t, std::vector<uint8_t>> views;
  intptr_t nextHandle = 100;

  std::shared_ptr<RegNode> hklm, hkcu;
  std::map<plat::RegKey, KeyHandle> keys;
  plat::RegKey nextKey = 0x1000;

  std::vector<Resource> resources;
  std::vector<FailRule> failRules;

  std::vector<int> answers;
  std::vector<sim::MessageBoxCall> boxes;
  bool markerClass = false;
  plat::WindowHandle markerWindow = 0;

  bool wow64 = false;
  bool stationVisible = true;
  bool standardOutput = false;
  std::string standardOutputText;

  uint32_t registryEditorExit = 0;
  std::vector<sim::ProcessStart> processes;
  std::map<plat::ProcessHandle, uint32_t> running;  // exit code of each started process

  // ---- CD-ROM devices (devices.cpp)
  std::vector<CdromDeviceState> cdroms;
  std::map<plat::DevInfoSet, std::vector<size_t>> deviceSets;  // the devices of each set
  bool setupApiMissing = false;
  bool oemInfUninstallMissing = false;  // SetupUninstallOEMInfA (Windows XP on)
  std::string infArriving;              // stored by another program during the next SetupCopyOEMInfA
  std::vector<std::string> deviceCalls;
  size_t messageDispatches = 0;

  // ---- shutdown (shutdown.cpp)
  bool shutdownPrivilegeHeld = true;      // the user holds SeShutdownPrivilege
  bool shutdownPrivilegeEnabled = false;  // enabled in the process token
  std::map<intptr_t, uint32_t> tokens;    // open token handles and their access rights
  std::vector<sim::ExitWindowsCall> exitWindowsCalls;

  // ---- dialog windows (dialogs.cpp)
  std::vector<sim::WindowState> windows;  // live top-level windows but the marker, in creation order
  std::set<plat::WindowHandle> disabledWindows;  // top-level windows switched off by EnableWindow
  std::set<plat::WindowHandle> shownModal;       // dialogs that have been through RunModalDialog
  plat::WindowHandle nextWindow = 0x20024;
  int screenDpi = 96, screenWidth = 1024, screenHeight = 768;
  std::vector<sim::UserAction> script;  // actions not yet taken
  bool keysHeld = false;                // Shift, Ctrl and Alt during a scripted click
  std::vector<sim::WindowState> dialogViews;
  std::vector<std::string> dialogScriptErrors;
  std::vector<std::vector<sim::WindowState>> paints;

  // ---- failure points (faultpoints.cpp)
  bool countingFailurePoints = false;
  size_t failNth = 0;
  bool killAtNth = false;  // the failNth-th point ends the process instead
  std::vector<sim::FailurePoint> failurePoints;

  // ---- file-name tunnelling of the NT family (files.cpp): the creation time
  // of each name deleted or renamed away, and when that happened
  struct Tunnel {
    plat::FileTime creation = 0, removedAt = 0;
  };
  std::map<std::string, Tunnel> tunnels;  // by upper-case full path

  // ---- directories the user may not write to (files.cpp)
  std::set<std::string> writeDeniedDirs;  // upper-case full paths
  // ---- directories made by CreatePrivateDirectoryA on the NT family (files.cpp)
  std::set<std::string> privateDirs;  // upper-case full paths

  // ---- named mutexes (mutex.cpp), by upper-case name
  struct Mutex {
    bool heldElsewhere = false;  // by another run, which goes on holding it
    bool deniedToUs = false;     // made by another user without access for this one
    bool abandoned = false;      // its owner ended without releasing it
    int ownedByUs = 0;           // how often this process took it
  };
  std::map<std::string, Mutex> mutexes;
  std::map<intptr_t, std::string> mutexHandles;
};

Machine& M();
// True (with ERROR_ACCESS_DENIED as the last error) when a FailCalls rule
// makes this call of `function` fail.
bool Failing(const char* function, const std::string& path = "");
// Records a failure point while they are counted; true for the one that is
// to fail (faultpoints.cpp).
bool FailurePointFails(const char* function, const std::string& path);
// Advances the simulated clock by one second.
void Tick();
// WaitForSingleObject and CloseHandle of a mutex (mutex.cpp); false when
// the handle is not a mutex's.
bool WaitForMutex(intptr_t handle, uint32_t milliseconds, uint32_t* result);
bool CloseMutex(intptr_t handle);
// Ends every thread the program started (threads.cpp); before a reset.
void EndThreads();
// A call of the device log (DeviceCalls).
void RecordDeviceCall(const std::string& line);

// ---- dialog windows (dialogs.cpp; the user at them in user.cpp)
constexpr uint32_t kErrorInvalidWindowHandle = 1400;  // ERROR_INVALID_WINDOW_HANDLE
// Sets the last error and gives false.
bool Fail(uint32_t error);
// Look-ups by handle. The pointers are good only until the next window is
// created or destroyed, so nothing keeps them across a call of the program.
struct Found {
  sim::WindowState* window = nullptr;   // the top-level window, or the control's parent
  sim::ControlState* control = nullptr;  // set when the handle is a control
};
Found Find(plat::WindowHandle handle);
sim::WindowState* TopLevel(plat::WindowHandle window);  // nullptr for a control
// The marker window or a live dialog window or control.
bool WindowExists(plat::WindowHandle window);
// DestroyWindow of a dialog window (with its controls) or of a control;
// false with ERROR_INVALID_WINDOW_HANDLE when there is no such window.
bool DestroyDialogWindow(plat::WindowHandle window);
// Records the visible top-level windows as one paint (Paints).
void RecordPaint();

std::string Upper(std::string s);
bool ContainsNoCase(const std::string& haystack, const std::string& needle);

// ---- paths
// Absolute Windows path with an upper-case drive letter, "." and ".."
// resolved, single backslashes, no trailing backslash (except "C:\").
std::string FullPath(const std::string& path);
std::string TimeKey(const std::string& path);
// Host path of a Windows path; existing components are matched without
// regard to case.
std::string ToHost(const std::string& path);
bool IsDir(const std::string& host);
bool IsFile(const std::string& host);
std::string Parent(const std::string& host);
sim::Times& TimesOf(const std::string& key);

// ---- registry
std::shared_ptr<RegNode> FindChild(RegNode& node, const std::string& name);
std::shared_ptr<RegNode> AddChild(RegNode& node, const std::string& name);
KeyHandle* Handle(plat::RegKey key);
bool SplitKeyPath(const std::string& path, std::vector<std::string>* parts);
long OpenOrCreate(plat::RegKey root, const std::string& subKey, bool writable, bool create, plat::RegKey* result,
                  const char* function);
RegValue* FindValue(RegNode& node, const std::string& name);
void MarkDeleted(RegNode& node);
// The key a link points to (links followed on), null when it is not there.
std::shared_ptr<RegNode> Followed(std::shared_ptr<RegNode> node);
// Deletes a key with all its subkeys (what the registry editor's [-key] does).
void DeleteTree(plat::RegKey root, const std::string& subKey);

}  // namespace sim::internal
