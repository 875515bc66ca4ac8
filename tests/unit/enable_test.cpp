// Disabling and enabling the driver of each family (file, file times,
// registry, result), a move whose source cannot be opened or whose rename
// fails, and the reboot with and without the shutdown privilege.
#include <algorithm>

#include "sim_fixture.h"
#include "vqdlib/enable.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"

using Lines = std::vector<std::string>;
using reg::Bytes;
using std::string_literals::operator""s;

namespace {

const std::string kSys = "C:\\WINDOWS\\SYSTEM32";

struct FamilyCase {
  const char* name;
  uint32_t platform, major;
  std::string active, disabled;
  const char* service;   // nullptr on 9x
  bool filter;           // a CD-ROM class lower filter (Windows 2000)
  bool alwaysReboot;     // NT 4 and 9x answer true whatever happened
  Lines disableWork, enableWork;  // the operations' first log lines, in order
};

const FamilyCase kNT4 = {"NT4", plat::kPlatformWin32NT, 4, kSys + "\\DRIVERS\\VQD.SYS", kSys + "\\DRIVERS\\VQD.DIS",
                     "VQD", false, true, {"RegCreateVQD"}, {"RegCreateVQD"}};
const FamilyCase k2K = {"2K", plat::kPlatformWin32NT, 5, kSys + "\\DRIVERS\\VQD2K.SYS", kSys + "\\DRIVERS\\VQD2K.DIS",
                    "VQD2K", true, false, {"RLF", "RegCreateVQD2K"}, {"RegCreateVQD2K", "ALF"}};
const FamilyCase k9x = {"9x", plat::kPlatformWin32Windows, 4, kSys + "\\IOSUBSYS\\MERIDAX.VXD",
                    kSys + "\\IOSUBSYS\\MERIDAX.DIS", nullptr, false, true, {}, {}};
const FamilyCase* const kFamilies[] = {&kNT4, &k2K, &k9x};

const sim::Times kDriverTimes = {125000000000000001ull, 125000000000000002ull, 125000000000000003ull};
const sim::Times kOtherTimes = {126000000000000001ull, 126000000000000002ull, 126000000000000003ull};

// A CD-ROM drive that does not stop when asked: a restart that reaches it
// answers that a reboot is needed.
sim::CdromDevice StuckDrive() {
  sim::CdromDevice d;
  d.objectName = "\\Device\\CdRom1";
  d.failsAt = sim::DeviceStep::Stop;
  return d;
}

void UseFamily(const FamilyCase& f) {
  sim::SetVersion(f.platform, f.major, 0, 1);
  InitLibrary();
}

// A file with the given content and three times, set through the platform
// layer as a copy program would.
void PutFile(const std::string& path, const std::string& content, const sim::Times& t) {
  sim::WriteFile(path, content);
  plat::FileHandle h = plat::CreateFileA(path, plat::Access::Write, 0, plat::Disposition::OpenExisting);
  ASSERT_NE(h, plat::kInvalidFile) << path;
  plat::SetFileTime(h, &t.creation, &t.lastAccess, &t.lastWrite);
  plat::CloseHandle(h);
}

std::string TimesText(const std::string& path) {
  if (!sim::FileExists(path)) return "<none>";
  sim::Times t = sim::FileTimes(path);
  return std::to_string(t.creation) + "/" + std::to_string(t.lastAccess) + "/" + std::to_string(t.lastWrite);
}
std::string TimesText(const sim::Times& t) {
  return std::to_string(t.creation) + "/" + std::to_string(t.lastAccess) + "/" + std::to_string(t.lastWrite);
}

// What the system holds of one family's driver.
struct State {
  std::string active, disabled;  // contents, "<none>" when missing
  bool serviceKey = false;
  std::string filters;  // LowerFilters bytes, "<none>" when missing
  uint32_t count = 0;
  bool operator==(const State& o) const {
    return active == o.active && disabled == o.disabled && serviceKey == o.serviceKey && filters == o.filters &&
           count == o.count;
  }
};
std::ostream& operator<<(std::ostream& os, const State& s) {
  std::string filters = s.filters;
  for (char& c : filters)
    if (c == '\0') c = '|';
  return os << "{active=" << s.active << " disabled=" << s.disabled << " service=" << s.serviceKey
            << " filters=" << filters << " count=" << s.count << "}";
}

State StateOf(const FamilyCase& f) {
  State s;
  s.active = sim::FileExists(f.active) ? sim::ReadFile(f.active) : "<none>";
  s.disabled = sim::FileExists(f.disabled) ? sim::ReadFile(f.disabled) : "<none>";
  s.serviceKey = f.service && reg::KeyExists(plat::kHKeyLocalMachine, kServices + f.service);
  std::vector<uint8_t> data;
  s.filters = reg::GetValue(CdromClassKey, "LowerFilters", &data) ? std::string(data.begin(), data.end()) : "<none>";
  bool logging = DebugEnabled;
  DebugEnabled = false;  // the count's own log lines are not the operation's
  s.count = GetInstallCount();
  DebugEnabled = logging;
  return s;
}

// The registry of an installed, enabled driver (another filter beside it on
// Windows 2000) and an install count of 3; the file comes separately. The
// addition puts the driver first in the filter list.
void RegisterDriver(const FamilyCase& f) {
  reg::CreateKey(kServices + "IMAPI");
  reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, Bytes(f.filter ? "IMAPI\0VQD2K\0\0"s : "IMAPI\0\0"s));
  if (f.service) reg::CreateKey(kServices + f.service);
  reg::CreateKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
  SetInstallCount(3);
}

}  // namespace

class EnableTest : public SimTest {
 protected:
  // The first line of every operation that ran (the lines without ": ").
  static Lines OperationsLogged() {
    Lines ops;
    for (const std::string& line : LogLines())
      if (line.find(": ") == std::string::npos) ops.push_back(line);
    return ops;
  }
};

TEST_F(EnableTest, DisableThenEnableMovesTheFileWithItsTimesAndTheRegistration) {
  for (const FamilyCase* f : kFamilies) {
    SCOPED_TRACE(f->name);
    sim::Reset(root_);
    UseFamily(*f);
    PutFile(f->active, "driver", kDriverTimes);
    RegisterDriver(*f);
    ASSERT_TRUE(IsDriverInstalled());

    StartLog();
    EXPECT_EQ(DisableDriver(), f->alwaysReboot);
    State disabled{"<none>", "driver", false, "IMAPI\0\0"s, 3};
    EXPECT_EQ(StateOf(*f), disabled);
    EXPECT_EQ(TimesText(f->disabled), TimesText(kDriverTimes));
    EXPECT_EQ(OperationsLogged(), f->disableWork);
    EXPECT_FALSE(IsDriverInstalled());
    CloseDebugLog();

    StartLog();
    EXPECT_EQ(EnableDriver(true), f->alwaysReboot);
    State enabled{"driver", "<none>", f->service != nullptr, f->filter ? "VQD2K\0IMAPI\0\0"s : "IMAPI\0\0"s, 3};
    EXPECT_EQ(StateOf(*f), enabled);
    EXPECT_EQ(TimesText(f->active), TimesText(kDriverTimes));
    EXPECT_EQ(OperationsLogged(), f->enableWork);
    EXPECT_TRUE(IsDriverInstalled());
    CloseDebugLog();
  }
}

TEST_F(EnableTest, NothingToMoveChangesNothing) {
  enum Setup { AlreadyDisabled, AlreadyEnabled, NoSystemDir };
  for (const FamilyCase* f : kFamilies) {
    for (Setup setup : {AlreadyDisabled, AlreadyEnabled, NoSystemDir}) {
      SCOPED_TRACE(std::string(f->name) + " setup " + std::to_string(setup));
      sim::Reset(root_);
      if (setup == NoSystemDir) {
        sim::SetSystemDirectory("");
        // Paths built on an empty SystemDir would name these.
        sim::WriteFile(f->active.substr(kSys.size()), "root driver");
        sim::WriteFile(f->disabled.substr(kSys.size()), "root disabled");
      }
      UseFamily(*f);
      RegisterDriver(*f);
      sim::AddCdromDevice(StuckDrive());
      if (setup == AlreadyDisabled) PutFile(f->disabled, "driver", kDriverTimes);
      if (setup == AlreadyEnabled) PutFile(f->active, "driver", kDriverTimes);
      State before = StateOf(*f);
      StartLog();
      if (setup != AlreadyEnabled) {
        EXPECT_EQ(DisableDriver(), f->alwaysReboot);
      }
      if (setup != AlreadyDisabled) {
        EXPECT_EQ(EnableDriver(true), f->alwaysReboot);
      }
      EXPECT_EQ(StateOf(*f), before);
      EXPECT_EQ(OperationsLogged(), Lines{});
      EXPECT_EQ(sim::DeviceCalls(), Lines{});
      if (setup == NoSystemDir) {
        EXPECT_EQ(sim::ReadFile(f->active.substr(kSys.size())), "root driver");
        EXPECT_EQ(sim::ReadFile(f->disabled.substr(kSys.size())), "root disabled");
      }
      CloseDebugLog();
    }
  }
}

// On the NT family the name of the stale file, deleted just before the
// rename, passes its creation time on to the renamed driver (file-name
// tunnelling): only the times set after the rename give the driver its own.
TEST_F(EnableTest, DisablingReplacesAStaleDisabledFile) {
  for (const FamilyCase* f : kFamilies) {
    SCOPED_TRACE(f->name);
    sim::Reset(root_);
    UseFamily(*f);
    PutFile(f->active, "new driver", kDriverTimes);
    PutFile(f->disabled, "stale", kOtherTimes);
    RegisterDriver(*f);
    EXPECT_EQ(DisableDriver(), f->alwaysReboot);
    EXPECT_EQ(StateOf(*f).active, "<none>");
    EXPECT_EQ(StateOf(*f).disabled, "new driver");
    EXPECT_EQ(TimesText(f->disabled), TimesText(kDriverTimes));
  }
}

// When the source cannot be opened, the file at the other name stays: when
// enabling, that is the active driver.
TEST_F(EnableTest, AnUnreadableSourceLeavesTheTargetInPlace) {
  for (const FamilyCase* f : kFamilies) {
    for (bool enabling : {true, false}) {
      SCOPED_TRACE(std::string(f->name) + (enabling ? " enable" : " disable"));
      sim::Reset(root_);
      UseFamily(*f);
      PutFile(f->active, "active", kDriverTimes);
      PutFile(f->disabled, "disabled", kOtherTimes);
      RegisterDriver(*f);
      if (enabling && f->service) DeleteKey(kServices + f->service);
      if (enabling && f->filter) RemoveLowerFilter("VQD2K");
      sim::FailCalls("CreateFileA", 1, enabling ? f->disabled : f->active);

      EXPECT_EQ(enabling ? EnableDriver(true) : DisableDriver(), f->alwaysReboot);
      // The registry work that comes before the move stays done; Windows 2000
      // registers only after a move, so enabling it registers nothing.
      State expected{"active", "disabled", enabling && f == &kNT4, "IMAPI\0\0"s, 3};
      EXPECT_EQ(StateOf(*f), expected);
      EXPECT_EQ(TimesText(f->active), TimesText(kDriverTimes));
      EXPECT_EQ(TimesText(f->disabled), TimesText(kOtherTimes));
    }
  }
}

TEST_F(EnableTest, Windows2000RegistersOnlyADriverFileThatIsThere) {
  UseFamily(k2K);
  reg::CreateKey(kServices + "IMAPI");
  reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, Bytes("IMAPI\0\0"s));
  reg::CreateKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
  SetInstallCount(1);

  // The move fails and no active file exists: a filter entry now would keep
  // every CD-ROM drive from starting.
  PutFile(k2K.disabled, "disabled", kDriverTimes);
  sim::AddCdromDevice(StuckDrive());
  sim::FailCalls("MoveFileA", 1);
  StartLog();
  EXPECT_FALSE(EnableDriver(true));
  EXPECT_EQ(StateOf(k2K), (State{"<none>", "disabled", false, "IMAPI\0\0"s, 1}));
  EXPECT_EQ(OperationsLogged(), Lines{});
  EXPECT_EQ(sim::DeviceCalls(), Lines{});
  CloseDebugLog();

  // The old active file could not be deleted, so it stays and is registered;
  // its times are its own.
  PutFile(k2K.active, "old active", kOtherTimes);
  sim::FailCalls("DeleteFileA", 1, k2K.active);
  EXPECT_TRUE(EnableDriver(true));  // the stuck drive
  EXPECT_EQ(StateOf(k2K), (State{"old active", "disabled", true, "VQD2K\0IMAPI\0\0"s, 1}));
  EXPECT_EQ(TimesText(k2K.active), TimesText(kOtherTimes));
  EXPECT_EQ(TimesText(k2K.disabled), TimesText(kDriverTimes));
  EXPECT_TRUE(IsDriverInstalled());
}

// Windows 2000 restarts the CD-ROM devices on a worker thread after every
// disable and after an enable that asks for it, once the registry is done;
// the result is whether some device failed.
TEST_F(EnableTest, Windows2000ResultIsTheDeviceRestartsOutcome) {
  enum Devices { NoDevices, CleanDrives, OneStuck };
  struct Case {
    const char* name;
    bool disabling, restartDevices;
    Devices devices;
    bool restarted, result;
  } cases[] = {
      {"disable, no devices", true, false, NoDevices, true, false},
      {"disable, clean drives", true, false, CleanDrives, true, false},
      {"disable, one stuck", true, false, OneStuck, true, true},
      {"enable without restart", false, false, OneStuck, false, false},
      {"enable, no devices", false, true, NoDevices, true, false},
      {"enable, clean drives", false, true, CleanDrives, true, false},
      {"enable, one stuck", false, true, OneStuck, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset(root_);
    UseFamily(k2K);
    PutFile(c.disabling ? k2K.active : k2K.disabled, "driver", kDriverTimes);
    RegisterDriver(k2K);
    if (!c.disabling) {
      DeleteKey(kServices + "VQD2K");
      RemoveLowerFilter("VQD2K");
    }
    if (c.devices != NoDevices) sim::AddCdromDevice(sim::CdromDevice());
    if (c.devices == OneStuck) sim::AddCdromDevice(StuckDrive());
    if (c.devices == CleanDrives) sim::AddCdromDevice(sim::CdromDevice());
    StartLog();
    EXPECT_EQ(c.disabling ? DisableDriver() : EnableVQD2K(c.restartDevices), c.result);
    EXPECT_EQ(sim::ThreadsCreated(), c.restarted ? 1u : 0u);
    EXPECT_EQ(sim::DeviceCalls().empty(), !c.restarted);
    EXPECT_EQ(sim::OpenDeviceSets(), 0u);
    EXPECT_EQ(IsDriverInstalled(), !c.disabling);
    if (c.restarted && c.devices != NoDevices) {
      // The drives restart with the filter list as it is left.
      Lines log = LogLines();
      auto registry = std::find(log.begin(), log.end(), c.disabling ? "RegCreateVQD2K: Removed" : "ALF: Succeeded");
      auto restart = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("RD: ", 0) == 0; });
      EXPECT_LT(registry, restart);
      EXPECT_NE(restart, log.end());
    }
    CloseDebugLog();
  }
}

TEST_F(EnableTest, FamilyVariantsActOnTheirOwnFiles) {
  // The variants can be called on any system; each moves its own family's file.
  for (const FamilyCase* f : kFamilies) PutFile(f->active, f->name, kDriverTimes);
  EXPECT_TRUE(DisableVQD());
  EXPECT_TRUE(DisableVQD9());
  EXPECT_FALSE(DisableVQD2K());
  for (const FamilyCase* f : kFamilies) EXPECT_EQ(sim::ReadFile(f->disabled), f->name);
  EXPECT_TRUE(EnableVQD());
  EXPECT_TRUE(EnableVQD9());
  EXPECT_FALSE(EnableVQD2K(false));
  for (const FamilyCase* f : kFamilies) {
    EXPECT_EQ(sim::ReadFile(f->active), f->name);
    EXPECT_FALSE(sim::FileExists(f->disabled));
  }
}

class RebootTest : public SimTest {};

TEST_F(RebootTest, RebootsOnlyWithTheShutdownPrivilege) {
  struct Case {
    const char* name;
    const FamilyCase* family;
    bool held;
    const char* failing;  // platform call that fails, or nullptr
    bool rebooted;
  } cases[] = {
      {"NT 4 granted", &kNT4, true, nullptr, true},
      {"2000 granted", &k2K, true, nullptr, true},
      {"denied", &k2K, false, nullptr, false},
      {"no token", &kNT4, true, "OpenProcessToken", false},
      {"lookup fails", &k2K, true, "LookupPrivilegeValueA", false},
      {"adjustment fails", &k2K, true, "AdjustTokenPrivileges", false},
      // 9x has no tokens: the token calls would fail there.
      {"9x", &k9x, false, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset(root_);
    UseFamily(*c.family);
    sim::SetShutdownPrivilegeHeld(c.held);
    if (c.failing) sim::FailCalls(c.failing);
    RebootSystem();
    const auto& calls = sim::ExitWindowsCalls();
    if (c.rebooted) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].flags, plat::kEwxReboot);
      EXPECT_TRUE(calls[0].accepted);
    } else {
      EXPECT_TRUE(calls.empty());
    }
    EXPECT_EQ(sim::OpenTokenHandles(), 0);
  }
}

// Windows 2000: a filter entry that could not be removed would load the
// driver at the next start of a drive, so its service and file stay and the
// disable stops there (no restart, no reboot needed).
TEST_F(EnableTest, Windows2000DisableStopsWhenTheFilterStays) {
  for (const char* refusal : {"RegOpenKeyA", "RegSetValueExA"}) {
    SCOPED_TRACE(refusal);
    sim::Reset(root_);
    UseFamily(k2K);
    RegisterDriver(k2K);
    PutFile(k2K.active, "driver", kDriverTimes);
    sim::AddCdromDevice(StuckDrive());
    State before = StateOf(k2K);
    sim::FailCalls(refusal, 1, "Class\\{4D36E965");
    EXPECT_FALSE(DisableDriver());
    EXPECT_EQ(StateOf(k2K), before);
    EXPECT_EQ(sim::DeviceCalls(), Lines{});
  }
}
