// The CD-ROM device restart against simulated devices: what is logged, what
// is asked of SetupAPI, and the outcome, on the calling thread and on the
// worker.
#include "vqdlib/restart.h"

#include "sim_fixture.h"

using Lines = std::vector<std::string>;
using std::string_literals::operator""s;

namespace {

const char* const GetSet = "SetupDiGetClassDevsA {53F56308-B6BF-11D0-94F2-00A0C91EFB8B} flags=0x1A";

sim::CdromDevice Drive(const std::string& objectName, const std::string& friendly) {
  sim::CdromDevice d;
  d.objectName = objectName;
  d.friendlyName = friendly;
  return d;
}

// The calls of one device that restarts cleanly, ending with the pause.
Lines CleanRestartCalls(int device) {
  std::string n = " device=" + std::to_string(device);
  return {"SetupDiSetClassInstallParamsA" + n + " size=20 header=8 function=0x12 state=5 scope=2 profile=0",
          "SetupDiCallClassInstaller" + n + " function=0x12",
          "SetupDiSetClassInstallParamsA" + n + " size=20 header=8 function=0x12 state=4 scope=2 profile=0",
          "SetupDiCallClassInstaller" + n + " function=0x12",
          "SetupDiGetDeviceInstallParamsA" + n + " size=296",
          "Sleep 1000"};
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace

class RestartTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    StartLog();
  }
};

TEST_F(RestartTest, NoDevicesIsASuccessWithoutLinesOrPause) {
  bool failed = true;
  EXPECT_TRUE(RestartEachCdromDevice(failed));
  EXPECT_FALSE(failed);
  EXPECT_EQ(LogLines(), Lines{});
  EXPECT_EQ(sim::DeviceCalls(), (Lines{GetSet, "SetupDiDestroyDeviceInfoList"}));
  EXPECT_EQ(sim::OpenDeviceSets(), 0u);
}

TEST_F(RestartTest, EveryDeviceIsStoppedAndStartedAndASecondNeedingARebootFailsTheRun) {
  sim::AddCdromDevice(Drive("\\Device\\CdRom0", "VELCO DVD-9000"));
  sim::CdromDevice second = Drive("\\Device\\CdRom1", "PALV CD-R 52x");
  second.flagsAfterStart = plat::kDiNeedReboot;
  sim::AddCdromDevice(second);
  bool failed = false;
  EXPECT_TRUE(RestartEachCdromDevice(failed));
  EXPECT_TRUE(failed);
  EXPECT_EQ(LogLines(), (Lines{"RD: Restarting device: \\Device\\CdRom0", "RD: Friendly name: VELCO DVD-9000",
                               "RD: Success restarting device: \\Device\\CdRom0",
                               "RD: Restarting device: \\Device\\CdRom1", "RD: Friendly name: PALV CD-R 52x",
                               "RD: Check DI_NEEDREBOOT 4 - Device needs reboot: \\Device\\CdRom1"}));
  EXPECT_EQ(sim::DeviceCalls(),
            Concat({{GetSet}, CleanRestartCalls(0), CleanRestartCalls(1), {"SetupDiDestroyDeviceInfoList"}}));
  EXPECT_TRUE(sim::CdromDeviceRunning(0));
  EXPECT_TRUE(sim::CdromDeviceRunning(1));
  EXPECT_EQ(sim::OpenDeviceSets(), 0u);
}

TEST_F(RestartTest, AFailingStepEndsThatDeviceWithItsLineAndTheRunGoesOn) {
  // A device stopped for the current profile and not started again would
  // stay off at the next start of Windows: its do-not-start flag is cleared.
  const std::string cleared = "RD: Cleared CSCONFIGFLAG_DO_NOT_START: \\Device\\CdRom0";
  struct Case {
    sim::DeviceStep step;
    uint32_t flags;  // install flags after the start
    uint32_t error;
    std::string line;
    bool runningAfter;  // the device's state when its restart ended
    std::string clearLine;  // "" when there is nothing to clear
    bool clearFails = false;
    std::string instanceId = "";  // the first drive's, when not the usual one
  } cases[] = {
      {sim::DeviceStep::SetParamsStop, 0, 87, "RD: Couldn't set the install parameters 1: 87", true, ""},
      {sim::DeviceStep::Stop, 0, 0xE000020E, "RD: Class installer STOP failed: 3758096910", true, ""},
      {sim::DeviceStep::SetParamsStart, 0, 5, "RD: Couldn't set the install parameters 2: 5", false, cleared},
      {sim::DeviceStep::Start, 0, 31, "RD: Class installer START failed: 31", false, cleared},
      {sim::DeviceStep::Start, 0, 31, "RD: Class installer START failed: 31", false,
       "RD: Couldn't clear CSCONFIGFLAG_DO_NOT_START: 19", true},
      // An instance ID of the longest length a device can have.
      {sim::DeviceStep::Start, 0, 31, "RD: Class installer START failed: 31", false, cleared, false,
       "USBSTOR\\" + std::string(192, 'X')},
      {sim::DeviceStep::GetInstallParams, 0, 1784, "RD: Couldn't get the install parameters: 1784", true, ""},
      {sim::DeviceStep::None, plat::kDiNeedReboot, 0, "RD: Check DI_NEEDREBOOT 4 - Device needs reboot: \\Device\\CdRom0", true, ""},
      // A device that wants a restart of its own has not taken the change
      // either.
      {sim::DeviceStep::None, plat::kDiNeedRestart, 0, "RD: Check DI_NEEDREBOOT 4 - Device needs reboot: \\Device\\CdRom0", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + " " + c.clearLine);
    sim::Reset(root_);
    InitLibrary();
    StartLog();
    sim::CdromDevice bad = Drive("\\Device\\CdRom0", "First");
    bad.failsAt = c.step;
    bad.error = c.error;
    bad.flagsAfterStart = c.flags;
    bad.instanceId = c.instanceId;
    sim::AddCdromDevice(bad);
    sim::AddCdromDevice(Drive("\\Device\\CdRom1", "Second"));
    if (c.clearFails) sim::FailCalls("CM_Set_HW_Prof_FlagsA");
    bool failed = false;
    EXPECT_TRUE(RestartEachCdromDevice(failed));
    EXPECT_TRUE(failed);
    Lines expected = {"RD: Restarting device: \\Device\\CdRom0", "RD: Friendly name: First", c.line};
    if (!c.clearLine.empty()) expected.push_back(c.clearLine);
    expected.insert(expected.end(), {"RD: Restarting device: \\Device\\CdRom1", "RD: Friendly name: Second",
                                     "RD: Success restarting device: \\Device\\CdRom1"});
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(sim::CdromDeviceRunning(0), c.runningAfter);
    EXPECT_TRUE(sim::CdromDeviceRunning(1));
    // Only a clearing that failed leaves the first drive off at the next start.
    EXPECT_EQ(sim::CdromDeviceProfileFlags(0), c.clearFails ? plat::kCsConfigFlagDoNotStart : 0u);
    EXPECT_EQ(sim::CdromDeviceProfileFlags(1), 0u);
    // Both devices paused after, the set destroyed.
    const Lines& calls = sim::DeviceCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Sleep 1000"), 2);
    EXPECT_EQ(calls.back(), "SetupDiDestroyDeviceInfoList");
  }
}

TEST_F(RestartTest, ADeviceWithoutObjectNameIsStillRestarted) {
  sim::AddCdromDevice(Drive("", "Nameless"));
  bool failed = true;
  EXPECT_TRUE(RestartEachCdromDevice(failed));
  EXPECT_FALSE(failed);
  EXPECT_EQ(LogLines(), (Lines{"RD: Error getting device name for restart", "RD: Restarting device: ",
                               "RD: Friendly name: Nameless", "RD: Success restarting device: "}));
  EXPECT_EQ(sim::DeviceCalls(), Concat({{GetSet}, CleanRestartCalls(0), {"SetupDiDestroyDeviceInfoList"}}));
}

TEST_F(RestartTest, FriendlyNamesOfEveryTypeAndSize) {
  struct Case {
    std::string data;
    uint32_t type;
    std::string expected;
  } cases[] = {
      {"Plain", plat::kRegSz, "Plain"},
      {"First\0Second"s, plat::kRegMultiSz, "First"},
      {"", plat::kRegNone, ""},                          // no friendly name
      {"", plat::kRegSz, ""},                            // an empty one
      {std::string(65535, 'n'), plat::kRegSz, std::string(65535, 'n')},  // 64 KiB with its zero
      {std::string(65536, 'n'), plat::kRegSz, ""},       // beyond any real name: taken for none
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.data.size() << " bytes, type " << c.type);
    sim::Reset(root_);
    InitLibrary();
    sim::CdromDevice d = Drive("\\Device\\CdRom0", c.data);
    d.friendlyNameType = c.type;
    sim::AddCdromDevice(d);
    plat::DevInfoSet set = plat::SetupDiGetClassDevsA(&plat::kGuidDevInterfaceCdrom, 0x1A);
    plat::SpDevInfoData device;
    device.cbSize = 28;
    ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set, 0, &device));
    EXPECT_EQ(GetDeviceFriendlyName(set, &device), c.expected) << c.data.size() << " bytes, type " << c.type;
    plat::SetupDiDestroyDeviceInfoList(set);
  }
  // In the log only the first string of a multi-string stands.
  sim::Reset(root_);
  InitLibrary();
  StartLog();
  sim::CdromDevice multi = Drive("\\Device\\CdRom0", "VELCO DVD-9000\0Second\0Third"s);
  multi.friendlyNameType = plat::kRegMultiSz;
  sim::AddCdromDevice(multi);
  bool failed = false;
  RestartEachCdromDevice(failed);
  EXPECT_EQ(LogLines().at(1), "RD: Friendly name: VELCO DVD-9000");
}

// A property that is missing can fail without setting the last error or the
// size (Wine does so for the object name). A stale ERROR_INSUFFICIENT_BUFFER
// from the size query of the device before must not be taken for a size.
TEST_F(RestartTest, AQuietlyMissingPropertyAfterAStaleBufferErrorIsNone) {
  sim::AddCdromDevice(Drive("\\Device\\CdRom0", "First"));
  sim::CdromDevice quiet = Drive("", "Second");
  quiet.objectNameQuiet = true;
  sim::AddCdromDevice(quiet);
  plat::DevInfoSet set = plat::SetupDiGetClassDevsA(&plat::kGuidDevInterfaceCdrom, 0x1A);
  plat::SpDevInfoData first, second;
  first.cbSize = second.cbSize = 28;
  ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set, 0, &first));
  ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set, 1, &second));
  EXPECT_EQ(GetDeviceFriendlyName(set, &first), "First");
  ASSERT_EQ(plat::GetLastError(), plat::kErrorInsufficientBuffer);  // left by the size query
  uint32_t type = 99;
  EXPECT_TRUE(GetDeviceProperty(set, &second, plat::kSpdrpPhysicalDeviceObjectName, &type).empty());
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(GetDeviceObjectName(set, &second), "");
  plat::SetupDiDestroyDeviceInfoList(set);

  StartLog();
  bool failed = true;
  EXPECT_TRUE(RestartEachCdromDevice(failed));
  EXPECT_FALSE(failed);
  EXPECT_EQ(LogLines(), (Lines{"RD: Restarting device: \\Device\\CdRom0", "RD: Friendly name: First",
                               "RD: Success restarting device: \\Device\\CdRom0",
                               "RD: Error getting device name for restart", "RD: Restarting device: ",
                               "RD: Friendly name: Second", "RD: Success restarting device: "}));
}

TEST_F(RestartTest, ADeviceSetThatCannotBeObtainedEndsTheRunQuietly) {
  for (bool interactive : {false, true}) {
    for (int way = 0; way < 2; ++way) {
      sim::Reset(root_);
      InitLibrary();
      StartLog();
      sim::AddCdromDevice(Drive("\\Device\\CdRom0", "Drive"));
      if (way == 0)
        sim::RemoveSetupApi();  // no setupapi.dll, or one without the device functions
      else
        sim::FailCalls("SetupDiGetClassDevsA");
      bool failed = true;
      EXPECT_FALSE(RestartCdromDevices(failed, interactive)) << interactive << way;
      EXPECT_FALSE(failed);
      EXPECT_EQ(LogLines(), Lines{});
      EXPECT_EQ(sim::DeviceCalls(), Lines{GetSet});
      EXPECT_TRUE(sim::CdromDeviceRunning(0));
    }
  }
}

// The same restart on the calling thread and on the worker: the same lines,
// outcome and calls. Only the worker lets the windows have their turn, at
// least every 100 ms of the ten the two pauses take.
TEST_F(RestartTest, WorkerAndCallingThreadGiveTheSameOutcome) {
  struct Run {
    Lines log, calls;
    bool result, failed;
    size_t threads, dispatches;
  };
  auto run = [this](bool interactive, bool noThread) {
    sim::Reset(root_);
    InitLibrary();
    StartLog();
    if (noThread) sim::FailCalls("CreateThread");
    sim::AddCdromDevice(Drive("\\Device\\CdRom0", "One"));
    sim::CdromDevice second = Drive("\\Device\\CdRom1", "Two");
    second.failsAt = sim::DeviceStep::Start;
    sim::AddCdromDevice(second);
    Run r;
    r.failed = false;
    r.result = RestartCdromDevices(r.failed, interactive);
    r.log = LogLines();
    r.calls = sim::DeviceCalls();
    r.threads = sim::ThreadsCreated();
    r.dispatches = sim::MessageDispatches();
    return r;
  };
  Run direct = run(false, false), worker = run(true, false), noWorker = run(true, true);
  EXPECT_TRUE(direct.result);
  EXPECT_TRUE(direct.failed);
  EXPECT_EQ(direct.log, (Lines{"RD: Restarting device: \\Device\\CdRom0", "RD: Friendly name: One",
                                "RD: Success restarting device: \\Device\\CdRom0",
                                "RD: Restarting device: \\Device\\CdRom1", "RD: Friendly name: Two",
                                "RD: Class installer START failed: 31",
                                "RD: Cleared CSCONFIGFLAG_DO_NOT_START: \\Device\\CdRom1"}));
  for (const Run* r : {&worker, &noWorker}) {
    EXPECT_EQ(r->result, direct.result);
    EXPECT_EQ(r->failed, direct.failed);
    EXPECT_EQ(r->log, direct.log);
    EXPECT_EQ(r->calls, direct.calls);
  }
  EXPECT_EQ(direct.threads, 0u);
  EXPECT_EQ(direct.dispatches, 0u);
  EXPECT_EQ(worker.threads, 1u);
  EXPECT_EQ(worker.dispatches, 20u);
  // A worker that cannot be created: the restart runs here, in full.
  EXPECT_EQ(noWorker.threads, 0u);
  EXPECT_EQ(noWorker.dispatches, 0u);
}

TEST_F(RestartTest, TheWorkersExitCodeTellsWhetherTheSetWasObtained) {
  sim::AddCdromDevice(Drive("\\Device\\CdRom0", "One"));
  bool failed = true;
  EXPECT_EQ(RestartOnWorkerThread(failed), 1u);
  EXPECT_FALSE(failed);
  EXPECT_EQ(sim::MessageDispatches(), 10u);
  sim::RemoveSetupApi();
  failed = true;
  EXPECT_EQ(RestartOnWorkerThread(failed), 0u);
  EXPECT_FALSE(failed);
  EXPECT_EQ(sim::ThreadsCreated(), 2u);
  EXPECT_EQ(sim::MessageDispatches(), 10u);  // the worker ended without a pause
}
