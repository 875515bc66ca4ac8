// Long and strange input, run through the whole program: a TEMP at and past
// the path limits, a current directory nobody may write to, command lines of
// many switches and thousands of characters, directories at MAX_PATH, filter
// lists at the size of the value buffer, and 8-bit bytes in arguments and in
// registry values.
#include <algorithm>

#include "app/cmdline.h"
#include "app/mainflow.h"
#include "procedure_fixture.h"
#include "vqdlib/registry.h"

namespace {

// A Windows path of exactly `length` characters below `root`, made of
// folders of at most 40 characters (the host keeps names short).
std::string PathOfLength(const std::string& root, size_t length) {
  std::string path = root;
  while (path.size() < length) {
    size_t left = length - path.size() - 1;  // after the backslash
    size_t part = std::min<size_t>(40, left);
    if (left > 40 && left - 40 < 2) part = left - 2;  // no empty last folder
    path += "\\" + std::string(part, 'd');
  }
  return path;
}

}  // namespace

class StrangeInputTest : public ProcedureTest {
 protected:
  // A machine of the family ready for the whole program.
  void Fresh(Fam f) {
    Machine(f, false);
    sim::WriteFile("C:\\SETUP\\VQDINST.EXE", Fixture("ver_5_1_26_0.sys"));
  }
  static int Run(const std::vector<std::string>& args) {
    InitLibrary();
    int code = RunVqdinst(args);
    CloseDebugLog();
    DebugEnabled = DebugLogOpen = false;
    return code;
  }
  // The temporary directory the last logged run used.
  static std::string TempDirUsed() {
    std::string used;
    for (const std::string& line : LogLines())
      if (line.rfind("MTD: Temp dir is: ", 0) == 0) used = line.substr(18);
    return used;
  }
};

TEST_F(StrangeInputTest, LongTempFallsBackToTheWindowsDirectory) {
  // TEMP up to what the 261-byte buffer holds is read; the directory is made
  // there while its path leaves room for an 8.3 name (247 characters), and
  // in the Windows directory otherwise.
  struct Case {
    size_t length;
    bool underTemp;
  } cases[] = {{200, true}, {238, true}, {239, false}, {260, false}, {261, false}, {300, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "TEMP of " << c.length << " characters");
    Fresh(Fam::W2K);
    const std::string temp = PathOfLength("C:\\T", c.length);
    ASSERT_EQ(temp.size(), c.length);
    sim::MakeDirectory(temp);
    sim::SetEnvironment("TEMP", temp);
    EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 6) << c.length;
    EXPECT_EQ(TempDirUsed(), (c.underTemp ? temp : std::string("C:\\WINDOWS")) + "\\931fas~9") << c.length;
    EXPECT_TRUE(DriverIs(Carried())) << c.length;
    EXPECT_EQ(Count(), 1) << c.length;
    EXPECT_FALSE(sim::DirectoryExists(temp + "\\931fas~9")) << c.length;
    EXPECT_FALSE(sim::DirectoryExists("C:\\WINDOWS\\931fas~9")) << c.length;
  }
}

TEST_F(StrangeInputTest, TempThatIsGoneOrReadOnlyFallsBackToo) {
  Fresh(Fam::NT);
  sim::SetEnvironment("TEMP", "C:\\NOWHERE");
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 6);
  EXPECT_EQ(TempDirUsed(), "C:\\WINDOWS\\931fas~9");
  EXPECT_TRUE(DriverIs(Carried()));

  // A directory left by an earlier run (or by anybody) is not used: the run
  // makes the next name and leaves that one alone.
  Fresh(Fam::NT);
  sim::MakeDirectory("C:\\TEMP\\931fas~9");
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 6);
  EXPECT_EQ(TempDirUsed(), "C:\\TEMP\\931fas~9.1");
  EXPECT_TRUE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
  EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9.1"));
}

TEST_F(StrangeInputTest, ReadOnlyCurrentDirectoryKeepsTheExitCodes) {
  // Nothing may be created or deleted in C:\WORK: the flags are missing,
  // the exit code tells the outcome all the same.
  struct Case {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"/INSTALL"}, 6}, {{"/CHECK"}, 10}, {{"/UNPACK"}, 7},
      // The manifest cannot be written: the run ends through the guard.
      {{"/MANIFEST"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ArgsText(c.args));
    Fresh(Fam::W2K);
    sim::DenyWritesIn("C:\\WORK");
    EXPECT_EQ(Run(c.args), c.code) << c.args[0];
    for (const char* name : {"reboot.txt", "badinst.txt", "VQDINST.MFT", "VQD2K.SYS"})
      EXPECT_FALSE(sim::FileExists(std::string("C:\\WORK\\") + name)) << c.args[0] << " " << name;
    EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9")) << c.args[0];
  }
}

TEST_F(StrangeInputTest, FortySwitchesActAsEachOnce) {
  std::vector<std::string> many;
  const char* cycle[] = {"/upgrade", "/NOFLAG", "/Overwrite", "/bogus", "/UPGRADE", "", "/noflag", "x"};
  for (int i = 0; i < 40; ++i) many.push_back(cycle[i % 8]);
  for (Fam f : {Fam::NT, Fam::W2K, Fam::W9x}) {
    Fresh(f);
    Installed(Carried(), 2);
    EXPECT_EQ(Run(many), 6) << Name(f);  // the same version, copied over by /OVERWRITE
    EXPECT_FALSE(sim::FileExists("C:\\WORK\\reboot.txt")) << Name(f);
    EXPECT_EQ(Count(), 2) << Name(f);
  }
}

TEST_F(StrangeInputTest, CommandLineOfTwoThousandCharacters) {
  // One argument of 1,977 characters, quoted with a blank inside, and a
  // switch: the long one is ignored, the switch runs.
  std::string longArg = "\"" + std::string(990, 'a') + " " + std::string(986, 'b') + "\"";
  std::string line = "vqdinst.exe " + longArg + " /INSTALL";
  ASSERT_EQ(line.size(), 2000u);
  std::vector<std::string> args = SplitCommandLine(line);
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0].size(), 1977u);
  EXPECT_EQ(args[1], "/INSTALL");
  Fresh(Fam::W9x);
  EXPECT_EQ(Run(args), 6);
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(Count(), 1);

  // Two thousand characters of switches: 250 of "/NOFLAG" with a blank.
  std::string switches = "vqdinst.exe";
  while (switches.size() + 8 <= 2000) switches += " /NOFLAG";
  EXPECT_EQ(SplitCommandLine(switches).size(), 248u);
  Fresh(Fam::W9x);
  EXPECT_EQ(Run(SplitCommandLine(switches)), 0);
}

TEST_F(StrangeInputTest, EightBitArgumentsAreIgnored) {
  // Only a to z are upper-cased: "/install" with an accented letter or a
  // byte above 0x7F next to a switch matches nothing.
  Fresh(Fam::W2K);
  EXPECT_EQ(Run({"/INSTALL\xE9", "/\xC9NABLE", "\xFF\x80", "/d\xE9" "bug", "/REMOV\xC9"}), 0);
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_EQ(Count(), -1);
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
}

TEST_F(StrangeInputTest, SystemDirectoryAtAndPastMaxPath) {
  // A system directory that fits the 261-byte buffer is used; the driver
  // path built on it is too long for the file functions once it passes 259
  // characters, so nothing is copied and nothing registered (13). One longer
  // than the buffer reads as none.
  struct Case {
    size_t length;
    bool installs;
  } cases[] = {{200, true}, {241, true}, {242, false}, {260, false}, {261, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "system directory of " << c.length << " characters");
    Fresh(Fam::W2K);
    const std::string system = PathOfLength("C:\\W", c.length);
    sim::MakeDirectory(system + "\\DRIVERS");
    sim::MakeDirectory("C:\\DRIVERS");  // where an empty system directory would send the driver
    sim::SetSystemDirectory(system);
    InitLibrary();
    EXPECT_EQ(SystemDir, c.length <= 260 ? system : "") << c.length;
    EXPECT_EQ(Run({"/INSTALL"}), c.installs ? 6 : 13) << c.length;
    EXPECT_EQ(sim::FileExists(system + "\\DRIVERS\\VQD2K.SYS"), c.installs) << c.length;
    EXPECT_EQ(Filters().find("VQD2K") != std::string::npos, c.installs) << c.length << Filters();
    EXPECT_FALSE(sim::FileExists("C:\\DRIVERS\\VQD2K.SYS")) << c.length;
    // A failed copy counts nothing.
    Bytes count;
    EXPECT_EQ(reg::GetValue(kSharedDlls, system + "\\DRIVERS\\VQD2K.SYS", &count), c.installs) << c.length;
  }
}

TEST_F(StrangeInputTest, FilterListsAtTheSizeOfTheValueBuffer) {
  // Foreign entries of 100 characters (longer than any name the program
  // passes) fill the list to a given size; the entry of the install goes in
  // front while it fits the 1,024 bytes of list text, and a list past the
  // 1,025-byte buffer is left byte for byte. Without its entry the driver is
  // not installed: 13, with the copy's reboot still flagged.
  struct Case {
    size_t size;
    bool added;
  } cases[] = {{1018, true}, {1019, false}, {1025, false}, {1026, false}, {4000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "LowerFilters of " << c.size << " bytes");
    Fresh(Fam::W2K);
    std::string list;
    int n = 0;
    while (list.size() + 101 + 1 <= c.size) {
      std::string name = "F" + std::to_string(n++);
      name.resize(100, 'x');
      reg::CreateKey(kServices + name);
      list += name + '\0';
    }
    std::string last = "L";  // the last entry takes up what is left
    last.resize(c.size - list.size() - 2, 'y');
    reg::CreateKey(kServices + last);
    list += last + '\0' + '\0';
    ASSERT_EQ(list.size(), c.size);
    reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, B(list));
    EXPECT_EQ(Run({"/INSTALL"}), c.added ? 6 : 13) << c.size;
    std::string after = Filters();
    EXPECT_EQ(after.compare(0, 6, std::string("VQD2K\0", 6)) == 0, c.added) << c.size;
    // Every foreign entry is still there: upper-cased by the add, or as it
    // was after an install that failed and was undone.
    EXPECT_EQ(after.substr(c.added ? 6 : 0), c.added ? UpperCase(list) : list) << c.size;
  }
}

TEST_F(StrangeInputTest, EightBitRegistryValuesSurvive) {
  // A filter whose service name has bytes above 0x7F keeps them (only a-z
  // change case), and a system directory with an accented letter of the
  // ANSI code page names the install count it counts under.
  Fresh(Fam::W2K);
  const std::string odd = "caf\xE9\x80\xFF" "flt";
  reg::CreateKey(kServices + odd);
  reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, B(odd + '\0' + '\0'));
  EXPECT_EQ(Run({"/INSTALL"}), 6);
  EXPECT_EQ(Filters(), std::string("VQD2K\0CAF\xE9\x80\xFF" "FLT\0\0", 17));

  Fresh(Fam::W9x);
  const std::string system = "C:\\WINDOWS\\SYST\xC8M\xE9";
  sim::MakeDirectory(system + "\\IOSUBSYS");
  sim::SetSystemDirectory(system);
  EXPECT_EQ(Run({"/INSTALL"}), 6);
  Bytes count;
  ASSERT_TRUE(reg::GetValue(kSharedDlls, system + "\\IOSUBSYS\\MERIDAX.VXD", &count));
  EXPECT_EQ(count, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(Run({"/REMOVE"}), 6);
  EXPECT_FALSE(reg::GetValue(kSharedDlls, system + "\\IOSUBSYS\\MERIDAX.VXD", &count));
  EXPECT_FALSE(sim::FileExists(system + "\\IOSUBSYS\\MERIDAX.VXD"));
}

TEST_F(StrangeInputTest, WindowsDirectoryPastTheBufferPutsTheLogInTheCurrentRoot) {
  // 261 characters do not fit the buffer: no Windows directory, so the log
  // goes to the root of the current drive and TEMP is still used.
  Fresh(Fam::NT);
  const std::string windows = PathOfLength("C:\\V", 261);
  sim::MakeDirectory(windows);
  sim::SetWindowsDirectory(windows);
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 6);
  EXPECT_EQ(TempDirUsed(), "C:\\TEMP\\931fas~9");
  EXPECT_TRUE(DriverIs(Carried()));
}

// Removing a service key with a big tree records it in time linear in its
// size (counted in subkey names read, each a round through the registry).
TEST_F(StrangeInputTest, BigServiceTreeIsRecordedInLinearTime) {
  Fresh(Fam::NT);
  Installed(Carried(), 1);
  const int kSubkeys = 300;
  for (int i = 0; i < kSubkeys; ++i)
    reg::SetValue(kServices + ServiceName() + "\\Enum" + std::to_string(i), "A", plat::kRegDword, {1, 0, 0, 0});
  sim::CountFailurePoints();
  EXPECT_EQ(Run({"/FORCEREMOVE"}), 6);
  size_t listings = 0;
  for (const sim::FailurePoint& p : sim::FailurePointsPassed()) listings += p.function == "RegEnumKeyExA";
  sim::StopCountingFailurePoints();
  EXPECT_LT(listings, 10u * kSubkeys) << "subkey names read";
  EXPECT_FALSE(ServiceKey());
}
