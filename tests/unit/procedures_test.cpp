// Install, uninstall and upgrade on each Windows family: a starting system,
// one procedure, and the state it leaves behind.
#include "app/runstate.h"
#include "package/legacy.h"
#include "procedure_fixture.h"
#include "procedures/procedures.h"

namespace {
const Fam kFamilies[] = {Fam::NT, Fam::W2K, Fam::W9x};
}

class InstallTest : public ProcedureTest {};
class UninstallTest : public ProcedureTest {};
class UpgradeTest : public ProcedureTest {};

TEST_F(InstallTest, FirstInstallationLeavesDriverRegistrationAndCountOne) {
  const Lines expected[] = {
      {"InstNT", "InstNT: Extracting VQD", "InstNT: Didn't find another copy - installing",
       "InstNT: File copy of VQD.SYS succeeded", "InstNT: Done"},
      {"Inst2K", "Inst2K: Extracting VQD2K", "Inst2K: Didn't find another copy - installing",
       "Inst2K: File copy of VQD2K.SYS succeeded", "Inst2K: SetupCopyOEMInf executed successfully.", "Inst2K: Done"},
      {"Inst9x", "Inst9x: Extracting MERIDAX", "Inst9x: Didn't find another version - installing",
       "Inst9x: File copy of MERIDAX.VXD succeeded", "Inst9x: Done"},
  };
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    EXPECT_TRUE(InstallForFamily());
    EXPECT_TRUE(DriverIs(Carried()));
    EXPECT_EQ(ServiceKey(), f != Fam::W9x);
    EXPECT_EQ(Filters(), f == Fam::W2K ? std::string("VQD2K\0\0", 7) : "<none>");
    EXPECT_EQ(InfCopies(), f == Fam::W2K ? 1 : 0);
    EXPECT_EQ(Count(), 1);
    EXPECT_TRUE(DriveDb());
    Bytes exclude;
    EXPECT_TRUE(reg::GetValue(kAspi, "ExcludeMiniports", &exclude));
    EXPECT_EQ(exclude, Bytes(1, 0));
    EXPECT_TRUE(TempDirEmpty());
    EXPECT_EQ(LinesOf({std::string("Inst") + Name(f)}), expected[static_cast<int>(f)]);
  }
}

TEST_F(InstallTest, SecondInstallationCountsAndWindows2000RegistersAgain) {
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    ASSERT_TRUE(InstallForFamily());
    // Someone changed the service and emptied the INF store: the second run
    // puts both right on Windows 2000, and copies no driver anywhere.
    if (f != Fam::W9x) reg::SetValue(kServices + ServiceName(), "Start", plat::kRegDword, {3, 0, 0, 0});
    std::filesystem::remove_all(sim::HostPath("C:\\WINDOWS\\INF"));
    ASSERT_EQ(InfCopies(), 0);
    sim::Times before = sim::FileTimes(DriverPath());
    EXPECT_FALSE(InstallForFamily());
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(sim::FileTimes(DriverPath()).lastWrite, before.lastWrite);
    Bytes start;
    if (f != Fam::W9x) {
      ASSERT_TRUE(reg::GetValue(kServices + ServiceName(), "Start", &start));
      EXPECT_EQ(start[0], f == Fam::W2K ? 1 : 3);
    }
    EXPECT_EQ(InfCopies(), f == Fam::W2K ? 1 : 0);
  }
}

TEST_F(InstallTest, CopiesOnlyOverAnOlderOrUnreadableInstalledCopy) {
  struct Case {
    const char* what;
    int installed;  // 0 older, 1 same, 2 newer, 3 unreadable
    bool carriedUnreadable;
    bool copied;
  } cases[] = {
      {"older installed", 0, false, true},
      {"same version", 1, false, false},
      {"newer installed", 2, false, false},
      {"installed version unreadable", 3, false, true},
      {"carried version unreadable", 0, true, false},
  };
  for (Fam f : kFamilies) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(Name(f)) + ": " + c.what);
      carriedDriver_ = c.carriedUnreadable ? Fixture(f == Fam::W9x ? "zerolen.vxd" : "nover.sys") : Bytes();
      Machine(f);
      Bytes unreadable = Fixture(f == Fam::W9x ? "zerolen.vxd" : "nover.sys");
      Bytes before = c.installed == 0 ? Older() : c.installed == 1 ? Carried() : c.installed == 2 ? Newer() : unreadable;
      Installed(before, 1);
      EXPECT_EQ(InstallForFamily(), c.copied);
      EXPECT_TRUE(DriverIs(c.copied ? (c.carriedUnreadable ? unreadable : Carried()) : before));
      EXPECT_EQ(Count(), 2);
      std::string newerLine = std::string("Inst") + Name(f) + ": Install copy is newer - updating";
      EXPECT_EQ(LinesOf({newerLine}).size(), c.copied ? 1u : 0u);
    }
  }
}

TEST_F(InstallTest, InstalledDriverWithoutCountIsAdoptedThenCounted) {
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    Installed(Carried(), 0);
    EXPECT_FALSE(InstallForFamily());
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(LinesOf({std::string("Inst") + Name(f) + ": Found"}).at(0),
              std::string("Inst") + Name(f) +
                  (f == Fam::NT ? ": Found VQD without a counter"
                                : f == Fam::W2K ? ": Found VQD2K without counter" : ": Found MERIDAX without counter"));
  }
}

// A count at its largest (a damaged value, or another tool's -1) stays there:
// raising it must not wrap round to 0, which deletes the count of a driver in
// use.
TEST_F(InstallTest, CountAtItsLargestDoesNotWrapRound) {
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    Installed(Older(), 0xFFFFFFFFu);
    EXPECT_TRUE(InstallForFamily());
    EXPECT_TRUE(DriverIs(Carried()));
    EXPECT_EQ(Count(), 0xFFFFFFFFll);
  }
}

TEST_F(InstallTest, LegacyDriverIsReplacedAndCountedTwice) {
  for (bool copyFails : {false, true}) {
    for (Fam f : kFamilies) {
      SCOPED_TRACE(std::string(Name(f)) + (copyFails ? " copy fails" : ""));
      Machine(f);
      std::string legacy = f == Fam::NT ? kDrivers + "BREMCO.SYS" : f == Fam::W2K ? kDrivers + "BREMCO2K.SYS"
                                                                                 : kIosubsys + "PLOVANT.VXD";
      sim::WriteFile(legacy, "old driver");
      if (f == Fam::NT) reg::SetValue(kServices + "BREMCO", "Type", plat::kRegDword, {1, 0, 0, 0});
      if (f == Fam::W2K) {
        reg::SetValue(kServices + "BREMCO2k", "Type", plat::kRegDword, {1, 0, 0, 0});
        reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, B(std::string("BREMCO2k\0\0", 10)));
      }
      if (copyFails) sim::FailCalls("CopyFileA");
      // The legacy removal alone needs the reboot when the copy fails.
      EXPECT_TRUE(InstallForFamily());
      EXPECT_FALSE(sim::FileExists(legacy));
      // No driver in place: the legacy driver's count goes back as well.
      EXPECT_EQ(Count(), copyFails ? -1 : 2);
      EXPECT_EQ(sim::FileExists(DriverPath()), !copyFails);
      if (f == Fam::W2K) {
        EXPECT_EQ(Filters(), copyFails ? "<none>" : std::string("VQD2K\0\0", 7));
      }
    }
  }
}

// A failed copy counts the installation only where the older driver it
// meant to replace is still in place.
TEST_F(InstallTest, FailedCopyRegistersNothingAndCountsOnlyADriverInPlace) {
  for (bool olderThere : {false, true}) {
    for (Fam f : kFamilies) {
      SCOPED_TRACE(std::string(Name(f)) + (olderThere ? " over an older driver" : ""));
      Machine(f);
      if (olderThere) Installed(Older(), 1);
      sim::WriteFile(DisabledPath(), Older());  // a stale disabled copy
      sim::FailCalls("CopyFileA");
      EXPECT_FALSE(InstallForFamily());
      EXPECT_EQ(sim::FileExists(DriverPath()), olderThere);
      EXPECT_TRUE(sim::FileExists(DisabledPath()));
      EXPECT_EQ(ServiceKey(), olderThere && f != Fam::W9x);
      EXPECT_EQ(Filters(), olderThere && f == Fam::W2K ? std::string("VQD2K\0\0", 7) : "<none>");
      EXPECT_EQ(InfCopies(), 0);
      EXPECT_EQ(Count(), olderThere ? 2 : -1);
      EXPECT_TRUE(TempDirEmpty());
      EXPECT_EQ(LinesOf({"Inst" + std::string(Name(f)) + ": File copy"}).size(), 1u);
    }
  }
}

TEST_F(InstallTest, FailedInfCopyIsLoggedWithItsError) {
  Machine(Fam::W2K);
  sim::FailCalls("SetupCopyOEMInfA");
  EXPECT_TRUE(Inst2K());
  EXPECT_EQ(InfCopies(), 0);
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(LinesOf({"Inst2K: SetupCopyOEMInf"}), Lines{"Inst2K: SetupCopyOEMInf failed with error: 5"});
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(InstallTest, WithoutTemporaryDirectoryTheDatabaseStays) {
  Machine(Fam::NT);
  reg::SetValue("SOFTWARE\\Velcordia\\PALV\\DriveDB", "", plat::kRegSz, B(std::string("1.0.0.1") + '\0'));
  TempDir.clear();
  EXPECT_FALSE(InstNT());
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_EQ(Count(), -1);
  EXPECT_TRUE(DriveDb());
  EXPECT_EQ(LinesOf({"InstNT"}), (Lines{"InstNT", "InstNT: Done"}));
}

TEST_F(UninstallTest, CountDecidesUnlessForced) {
  struct Case {
    bool force, installed;
    uint32_t count;
    bool removed;
    long long countAfter;
    bool disabled = false;  // "/DISABLE" left it: only the ".DIS" file
  } cases[] = {
      {false, true, 1, true, -1},  {false, true, 2, false, 1},  {false, true, 0, false, -1},
      {false, false, 3, false, 2}, {true, true, 5, true, -1},   {true, true, 0, true, -1},
      {true, false, 2, false, 2},  {false, false, 1, true, -1, true}, {false, false, 2, false, 1, true},
      {true, false, 3, true, -1, true},
  };
  for (Fam f : kFamilies) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(Name(f)) + (c.force ? " forced" : " not forced") + " count " +
                   std::to_string(c.count) + (c.installed ? "" : c.disabled ? " disabled" : " not installed"));
      Machine(f);
      if (c.installed || c.disabled)
        reg::SetValue("SOFTWARE\\Velcordia\\PALV\\DriveDB", "", plat::kRegSz, B(std::string("1.0.3.40") + '\0'));
      if (c.installed) {
        Installed(Carried(), c.count);
      } else if (c.disabled) {
        Disabled(c.count);
      } else if (c.count) {
        SetCount(c.count);
      }
      // Nothing of a disabled driver is loaded: only Windows 9x, which
      // always asks, needs the reboot.
      EXPECT_EQ(UninstallForFamily(c.force), c.removed && (c.installed || f == Fam::W9x));
      EXPECT_FALSE(RemovalIncomplete);
      EXPECT_EQ(sim::FileExists(DriverPath()), c.installed && !c.removed);
      EXPECT_EQ(sim::FileExists(DisabledPath()), c.disabled && !c.removed);
      EXPECT_EQ(Count(), c.countAfter);
      if (c.removed) {
        EXPECT_FALSE(ServiceKey());
        EXPECT_EQ(Filters(), "<none>");
        EXPECT_FALSE(DriveDb());
      }
      bool decremented = !LinesOf({"UnInst" + std::string(Name(f)) + ": Install count is >1"}).empty();
      EXPECT_EQ(decremented, !c.force && !c.removed && f != Fam::W9x);
    }
  }
}

TEST_F(UninstallTest, LastRemovalLinesAndALockedDriverFile) {
  const Lines expected[] = {
      {"UnInstNT", "UnInstNT: Not forcing", "UnInstNT: Install count=1 - uninstalling", "UnInstNT: Failed to delete VQD.SYS",
       "UnInstNT: Done"},
      {"UnInst2K", "UnInst2K: Not forcing", "UnInst2K: Install count=1 - uninstalling",
       "UnInst2K: Failed to delete VQD2K.SYS", "UnInst2K: Done"},
      {"UnInst9x", "UnInst9x: Not forcing", "UnInst9x: Install count=1 - uninstalling",
       "UnInst9x: Failed to delete MERIDAX.VXD", "UnInst9x: Done"},
  };
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    Installed(Carried(), 1);
    sim::FailCalls("DeleteFileA", -1, DriverPath());
    // A loaded driver cannot be deleted; its registration goes all the same.
    EXPECT_TRUE(UninstallForFamily(false));
    EXPECT_TRUE(sim::FileExists(DriverPath()));
    EXPECT_FALSE(ServiceKey());
    EXPECT_EQ(Count(), -1);
    EXPECT_EQ(LinesOf({"UnInst"}), expected[static_cast<int>(f)]);
  }
}

TEST_F(UninstallTest, Windows2000KeepsOtherFiltersAndTheStoredInf) {
  Machine(Fam::W2K);
  ASSERT_TRUE(Inst2K());
  reg::SetValue(kServices + "OTHER", "Type", plat::kRegDword, {1, 0, 0, 0});
  reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, B(std::string("OTHER\0VQD2K\0\0", 13)));
  EXPECT_TRUE(UnInst2K(false));
  EXPECT_EQ(Filters(), std::string("OTHER\0\0", 7));
  EXPECT_EQ(InfCopies(), 1);
}

TEST_F(UpgradeTest, ReplacesWithoutCountingAndOverwriteForcesTheCopy) {
  struct Case {
    const char* what;
    int installed;  // -1 none, 0 older, 1 same, 2 newer, 3 older and disabled, 4 older beside a newer disabled
    uint32_t count;
    bool overwrite, copied;
    long long countAfter;
  } cases[] = {
      {"not installed", -1, 0, false, true, -1}, {"older", 0, 3, false, true, 3},
      {"same", 1, 1, false, false, 1},           {"same, overwrite", 1, 1, true, true, 1},
      {"newer", 2, 1, false, false, 1},          {"newer, overwrite", 2, 1, true, true, 1},
      {"older without count", 0, 0, false, true, 1},
      {"older, disabled", 3, 1, false, true, 1},
      {"older, newer disabled", 4, 1, false, true, 1},
  };
  for (Fam f : kFamilies) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(Name(f)) + ": " + c.what);
      Machine(f);
      Bytes before = c.installed == 0 || c.installed >= 3 ? Older() : c.installed == 1 ? Carried() : Newer();
      if (c.installed == 4) sim::WriteFile(DisabledPath(), Newer());
      if (c.installed >= 0 && c.installed != 3) Installed(before, c.count);
      if (c.installed == 3) {
        sim::WriteFile(DisabledPath(), before);
        SetCount(c.count);
      }
      EXPECT_EQ(UpgradeForFamily(c.overwrite), c.copied);
      EXPECT_TRUE(DriverIs(c.copied ? Carried() : before));
      // The copied driver leaves no older disabled copy beside it; a newer
      // one stays.
      EXPECT_EQ(sim::FileExists(DisabledPath()), c.installed == 4);
      EXPECT_EQ(Count(), c.countAfter);
      EXPECT_EQ(ServiceKey(), f != Fam::W9x);
      // Unlike installation, an upgrade that copies nothing registers nothing.
      if (f == Fam::W2K) {
        EXPECT_EQ(InfCopies(), c.copied ? 1 : 0);
      }
      EXPECT_TRUE(TempDirEmpty());
    }
  }
}

TEST_F(UpgradeTest, LinesOfEachFamilyAndTheLegacyDriverStays) {
  const Lines expected[] = {
      {"UpgradeNT", "UpgadeNT: Extracting VQD", "UpgadeNT: Found previous copy - checking versions",
       "UpgadeNT: Install copy is newer or overwrite switch used - updating", "UpgadeNT: File copy of VQD.SYS succeeded",
       "UpgadeNT: Done"},
      {"Upgrade2K", "Upgrade2K: Extracting VQD2K", "Upgrade2K: Found previous version - checking versions",
       "Upgrade2K: Install copy is newer - updating", "Upgrade2K: File copy of VQD2K.SYS succeeded",
       "Upgrade2K: SetupCopyOEMInf executed successfully.", "Upgrade2K: Done"},
      {"Upgrade9x", "Upgrade9x: Extracting MERIDAX", "Upgrade9x: Found previous version of MERIDAX - checking versions",
       "Upgrade9x: Install copy is newer - updating", "Upgrade9x: File copy of MERIDAX.VXD succeeded",
       "Upgrade9x: Done"},
  };
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    Installed(Older(), 1);
    std::string legacy = f == Fam::W9x ? kIosubsys + "PLOVANT.VXD" : kDrivers + "BREMCO.SYS";
    sim::WriteFile(legacy, "old driver");
    EXPECT_TRUE(UpgradeForFamily(false));
    EXPECT_TRUE(sim::FileExists(legacy));
    EXPECT_EQ(LinesOf({"Upgrade", "UpgadeNT"}), expected[static_cast<int>(f)]);
  }
}

// A filter entry the removal could not take out would load a driver without
// its service and file: both stay, and so does the count.
TEST_F(UninstallTest, Windows2000KeepsADriverItsFilterStillLoads) {
  // The only entry goes by deleting the value.
  for (const char* refusal : {"RegOpenKeyA", "RegDeleteValueA"}) {
    SCOPED_TRACE(refusal);
    Machine(Fam::W2K);
    Installed(Carried(), 1);
    reg::SetValue("SOFTWARE\\Velcordia\\PALV\\DriveDB", "", plat::kRegSz, B(std::string("1.0.3.40") + '\0'));
    sim::FailCalls(refusal, 1, "Class\\{4D36E965");
    EXPECT_FALSE(UnInst2K(false));
    EXPECT_TRUE(RemovalIncomplete);
    EXPECT_TRUE(DriverIs(Carried()));
    EXPECT_TRUE(DriveDb());
    EXPECT_TRUE(ServiceKey());
    EXPECT_EQ(Filters(), std::string("VQD2K\0\0", 7));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(LinesOf({"UnInst2K"}),
              (Lines{"UnInst2K", "UnInst2K: Not forcing", "UnInst2K: Install count=1 - uninstalling",
                     "UnInst2K: VQD2K still in LowerFilters - keeping the driver",
                     "UnInst2K: Failed to delete VQD2K.SYS", "UnInst2K: Done"}));
  }
}

// With no system directory the driver would go to a DRIVERS folder in the
// root of the current drive: nothing is copied or registered.
TEST_F(InstallTest, WithoutSystemDirectoryNothingIsCopied) {
  for (Fam f : kFamilies) {
    SCOPED_TRACE(Name(f));
    Machine(f);
    sim::MakeDirectory("C:\\DRIVERS");
    sim::MakeDirectory("C:\\IOSUBSYS");
    SystemDir.clear();
    EXPECT_FALSE(InstallForFamily());
    EXPECT_FALSE(sim::FileExists("C:\\DRIVERS\\VQD.SYS") || sim::FileExists("C:\\DRIVERS\\VQD2K.SYS") ||
                 sim::FileExists("C:\\IOSUBSYS\\MERIDAX.VXD"));
    EXPECT_FALSE(ServiceKey());
    EXPECT_EQ(Filters(), "<none>");
  }
}
