// The simulated SetupAPI devices and threads refuse what Windows refuses, so
// that the restart's tests can catch a wrong record or flag.
#include "sim_fixture.h"

using Lines = std::vector<std::string>;

class SimulatedDevicesTest : public SimTest {
 protected:
  // A set of the CD-ROM interface class with the first device enumerated.
  plat::DevInfoSet Open(plat::SpDevInfoData* device, uint32_t flags = 0x1A) {
    plat::DevInfoSet set = plat::SetupDiGetClassDevsA(&plat::kGuidDevInterfaceCdrom, flags);
    EXPECT_NE(set, plat::kInvalidDevInfoSet);
    device->cbSize = 28;
    EXPECT_TRUE(plat::SetupDiEnumDeviceInfo(set, 0, device));
    return set;
  }
};

TEST_F(SimulatedDevicesTest, SetsListPresentDevicesOfTheInterfaceClassOnly) {
  sim::CdromDevice absent;
  absent.present = false;
  sim::AddCdromDevice(absent);
  sim::AddCdromDevice(sim::CdromDevice());
  struct Case {
    const plat::Guid* guid;
    uint32_t flags;
    size_t devices;
  } cases[] = {
      {&plat::kGuidDevInterfaceCdrom, 0x1A, 1},
      {&plat::kGuidDevInterfaceCdrom, 0x18, 2},  // absent ones too without DIGCF_PRESENT
      {&plat::kGuidDevInterfaceCdrom, 0x0A, 0},  // the GUID taken as a setup class
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << c.flags);
    plat::DevInfoSet set = plat::SetupDiGetClassDevsA(c.guid, c.flags);
    plat::SpDevInfoData device;
    device.cbSize = 28;
    size_t n = 0;
    while (plat::SetupDiEnumDeviceInfo(set, static_cast<uint32_t>(n), &device)) ++n;
    EXPECT_EQ(plat::GetLastError(), plat::kErrorNoMoreItems);
    EXPECT_EQ(n, c.devices) << c.flags;
    EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
  }
  EXPECT_EQ(sim::OpenDeviceSets(), 0u);
}

TEST_F(SimulatedDevicesTest, RecordsOfTheWrongSizeAreRefused) {
  sim::AddCdromDevice(sim::CdromDevice());
  plat::SpDevInfoData device;
  plat::DevInfoSet set = Open(&device);
  plat::SpDevInfoData wide = device;
  wide.cbSize = 32;  // the 64-bit size
  EXPECT_FALSE(plat::SetupDiEnumDeviceInfo(set, 0, &wide));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorInvalidUserBuffer);

  plat::SpPropChangeParams params;
  params.cbSize = 8;
  params.installFunction = plat::kDifPropertyChange;
  params.stateChange = plat::kDicsStop;
  params.scope = plat::kDicsFlagConfigSpecific;
  struct Case {
    uint32_t header, size, state, scope, error;
  } cases[] = {
      {20, 20, 5, 2, plat::kErrorInvalidUserBuffer},  // the whole record's size in the header
      {8, 24, 5, 2, plat::kErrorInvalidParameter},
      {8, 20, 6, 2, 1004},                            // ERROR_INVALID_FLAGS
      {8, 20, 5, 3, 1004},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "header " << c.header << " size " << c.size << " state " << c.state
                                      << " scope " << c.scope);
    plat::SpPropChangeParams p = params;
    p.cbSize = c.header;
    p.stateChange = c.state;
    p.scope = c.scope;
    EXPECT_FALSE(plat::SetupDiSetClassInstallParamsA(set, &device, &p, c.size));
    EXPECT_EQ(plat::GetLastError(), c.error) << c.header << " " << c.size << " " << c.state << " " << c.scope;
  }
  // Nothing set yet: the class installer has nothing to do.
  EXPECT_FALSE(plat::SetupDiCallClassInstaller(plat::kDifPropertyChange, set, &device));
  EXPECT_EQ(plat::GetLastError(), 0xE0000215u);
  EXPECT_TRUE(plat::SetupDiSetClassInstallParamsA(set, &device, &params, 20));
  EXPECT_TRUE(plat::SetupDiCallClassInstaller(plat::kDifPropertyChange, set, &device));
  EXPECT_FALSE(sim::CdromDeviceRunning(0));
  // Stopped for the current profile: kept off at the next start of Windows
  // until its flag is cleared, found by the device's instance ID.
  EXPECT_EQ(sim::CdromDeviceProfileFlags(0), plat::kCsConfigFlagDoNotStart);
  char id[11];
  uint32_t needed = 0;
  EXPECT_FALSE(plat::SetupDiGetDeviceInstanceIdA(set, &device, id, 11, &needed));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorInsufficientBuffer);
  EXPECT_EQ(needed, 12u);
  char fullId[12];
  ASSERT_TRUE(plat::SetupDiGetDeviceInstanceIdA(set, &device, fullId, 12, nullptr));
  uint32_t flags = 0;
  EXPECT_EQ(plat::CM_Get_HW_Prof_FlagsA("ide\\cdrom\\0", 0, &flags, 0), plat::kCrSuccess);
  EXPECT_EQ(flags, plat::kCsConfigFlagDoNotStart);
  EXPECT_EQ(plat::CM_Get_HW_Prof_FlagsA("IDE\\CDROM\\7", 0, &flags, 0), plat::kCrNoSuchDevinst);
  EXPECT_EQ(plat::CM_Set_HW_Prof_FlagsA(fullId, 0, 0, 0), plat::kCrSuccess);
  EXPECT_EQ(sim::CdromDeviceProfileFlags(0), 0u);

  plat::SpDevInstallParams install;
  install.cbSize = 300;
  EXPECT_FALSE(plat::SetupDiGetDeviceInstallParamsA(set, &device, &install));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorInvalidUserBuffer);
  // A device record of another set.
  plat::SpDevInfoData other;
  plat::DevInfoSet set2 = Open(&other);
  install.cbSize = 296;
  EXPECT_FALSE(plat::SetupDiGetDeviceInstallParamsA(set, &other, &install));
  EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set2));
  EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(plat::SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SimulatedDevicesTest, PropertySizeQueryAndTheLastErrorAfterSuccess) {
  sim::CdromDevice d;
  d.friendlyName = "Drive";
  sim::AddCdromDevice(d);
  plat::SpDevInfoData device;
  plat::DevInfoSet set = Open(&device);
  uint32_t type = 0, size = 0;
  EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyA(set, &device, plat::kSpdrpFriendlyName, &type, nullptr, 0,
                                                       &size));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorInsufficientBuffer);
  EXPECT_EQ(type, plat::kRegSz);
  EXPECT_EQ(size, 6u);
  uint8_t buffer[6];
  EXPECT_TRUE(plat::SetupDiGetDeviceRegistryPropertyA(set, &device, plat::kSpdrpFriendlyName, &type, buffer, 6,
                                                      nullptr));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorInsufficientBuffer);  // a success sets none
  EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyA(set, &device, 0x99, &type, nullptr, 0, &size));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorInvalidData);
  plat::SetupDiDestroyDeviceInfoList(set);
}

namespace {
uint32_t SleepThenAnswer(void* parameter) {
  plat::Sleep(*static_cast<uint32_t*>(parameter));
  return 7;
}
}  // namespace

TEST_F(SimulatedDevicesTest, AWorkersSleepLastsThroughTheMainThreadsWaits) {
  struct Case {
    uint32_t sleep, wait;
    Lines results;  // of the waits until the thread has ended
  } cases[] = {
      {250, 100, {"258", "258", "0"}},  // the end is noticed within the third wait
      {200, 100, {"258", "258", "0"}},
      {0, 100, {"0"}},
      {1000, plat::kInfinite, {"0"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "sleep " << c.sleep << " wait " << c.wait);
    plat::ThreadHandle thread = plat::CreateThread(SleepThenAnswer, &c.sleep);
    ASSERT_NE(thread, 0);
    Lines results;
    uint32_t r = 0;
    do {
      r = plat::WaitForSingleObject(thread, c.wait);
      results.push_back(std::to_string(r));
    } while (r == plat::kWaitTimeout && results.size() < 50);
    EXPECT_EQ(results, c.results) << c.sleep;
    uint32_t code = 0;
    EXPECT_TRUE(plat::GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(plat::CloseThreadHandle(thread));
  }
  // A thread nobody waits for runs to its end once its handle is closed.
  uint32_t longSleep = 5000;
  plat::ThreadHandle thread = plat::CreateThread(SleepThenAnswer, &longSleep);
  uint32_t code = 0;
  EXPECT_TRUE(plat::GetExitCodeThread(thread, &code));
  EXPECT_TRUE(code == plat::kStillActive || code == 7u);
  EXPECT_TRUE(plat::CloseThreadHandle(thread));
  EXPECT_FALSE(plat::GetExitCodeThread(thread, &code));
  sim::FailCalls("CreateThread", 1);
  EXPECT_EQ(plat::CreateThread(SleepThenAnswer, &longSleep), 0);
  EXPECT_EQ(sim::ThreadsCreated(), 5u);
}
