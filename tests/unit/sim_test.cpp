// The simulated Windows behaves as the program expects the real one to: the
// registry's rules, the registry editor's import, and file names.
#include "sim_fixture.h"

using reg::Bytes;
using std::string_literals::operator""s;

class SimulatedWindowsTest : public SimTest {};

TEST_F(SimulatedWindowsTest, RegistryNamesIgnoreCaseAndPathsAreChecked) {
  reg::SetValue("SOFTWARE\\Vendor\\Key", "Value", plat::kRegSz, Bytes("v\0"s));
  std::vector<uint8_t> data;
  EXPECT_TRUE(reg::GetValue("software\\VENDOR\\key\\", "VALUE", &data));
  plat::RegKey key = 0;
  EXPECT_EQ(plat::RegOpenKeyA(plat::kHKeyLocalMachine, "\\SOFTWARE", &key), 161);
  // Subkeys are enumerated by index; past the last one: no more items.
  reg::CreateKey("SOFTWARE\\Vendor\\b");
  reg::CreateKey("SOFTWARE\\Vendor\\A");
  ASSERT_EQ(plat::RegOpenKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\Vendor", &key), 0);
  uint32_t count = 0;
  EXPECT_EQ(plat::RegQueryInfoKeyA(key, &count), 0);
  EXPECT_EQ(count, 3u);
  char name[8];
  uint32_t size = sizeof name;
  EXPECT_EQ(plat::RegEnumKeyExA(key, 1, name, &size), 0);
  EXPECT_STREQ(name, "b");
  size = sizeof name;
  EXPECT_EQ(plat::RegEnumKeyExA(key, 3, name, &size), long(plat::kErrorNoMoreItems));
  plat::RegCloseKey(key);
}

TEST_F(SimulatedWindowsTest, KeyDeletionFollowsTheFamily) {
  reg::CreateKey("SOFTWARE\\T\\A\\B");
  EXPECT_EQ(plat::RegDeleteKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\T"), long(plat::kErrorAccessDenied));
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  EXPECT_EQ(plat::RegDeleteKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\T"), 0);
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\T\\A\\B"));
  sim::SetAdmin(false);
  plat::RegKey key = 0;
  EXPECT_EQ(plat::RegCreateKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\X", &key), long(plat::kErrorAccessDenied));
  EXPECT_EQ(plat::RegOpenKeyExA(plat::kHKeyLocalMachine, "SOFTWARE", plat::kKeyRead, &key), 0);
  plat::RegCloseKey(key);
}

TEST_F(SimulatedWindowsTest, RegistryEditorImportsRegedit4Files) {
  reg::SetValue("SOFTWARE\\Old\\Sub", "x", plat::kRegSz, Bytes("1\0"s));
  reg::SetValue("SOFTWARE\\New", "gone", plat::kRegSz, Bytes("1\0"s));
  sim::WriteFile("C:\\T\\IMPORT.REG",
                 "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n"
                 "@=\"quote \\\" and \\\\\"\r\n"
                 "\"gone\"=-\r\n"
                 "\"Bin\"=hex:01,02,\\\r\n  03\r\n"
                 "\"Count\"=dword:0000010a\r\n"
                 "[HKEY_CURRENT_USER\\Software\\Mine]\r\n\"s\"=\"v\"\r\n");
  plat::ProcessHandle process = plat::CreateProcessA("", "c:\\windows\\regedit.exe /s C:\\T\\IMPORT.REG", "", 0);
  ASSERT_NE(process, 0);
  EXPECT_EQ(plat::WaitForProcess(process), 0u);
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\Old"));
  std::vector<uint8_t> data;
  uint32_t type = 0;
  ASSERT_TRUE(reg::GetValue("SOFTWARE\\New", "", &data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "quote \" and \\\0"s);
  EXPECT_FALSE(reg::GetValue("SOFTWARE\\New", "gone", &data));
  ASSERT_TRUE(reg::GetValue("SOFTWARE\\New", "Bin", &data, &type));
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(type, plat::kRegBinary);
  ASSERT_TRUE(reg::GetValue("SOFTWARE\\New", "Count", &data, &type));
  EXPECT_EQ(data, (std::vector<uint8_t>{0x0a, 1, 0, 0}));
  EXPECT_TRUE(reg::GetValue("Software\\Mine", "s", &data, nullptr, plat::kHKeyCurrentUser));
  // Only the registry editor can be started.
  EXPECT_EQ(plat::CreateProcessA("", "C:\\WINDOWS\\NOTEPAD.EXE", "", 0), 0);
}

// A line whose number is not one (no digits, letters past f, more than eight
// digits) is skipped, and the lines around it still go in.
TEST_F(SimulatedWindowsTest, RegistryEditorSkipsLinesWithBadNumbers) {
  sim::WriteFile("C:\\T\\BAD.REG",
                 "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\N]\r\n\"a\"=dword:zz\r\n\"b\"=dword:\r\n"
                 "\"c\"=dword:123456789\r\n\"d\"=hex(zz):00\r\n\"e\"=hex(123456789):00\r\n"
                 "\"ok\"=dword:FFFFFFFF\r\n\"x\"=hex(2):41,00\r\n");
  plat::ProcessHandle process = plat::CreateProcessA("", "C:\\WINDOWS\\REGEDIT.EXE /s C:\\T\\BAD.REG", "", 0);
  ASSERT_NE(process, 0);
  EXPECT_EQ(plat::WaitForProcess(process), 0u);
  std::vector<uint8_t> data;
  uint32_t type = 0;
  for (const char* skipped : {"a", "b", "c", "d", "e"}) EXPECT_FALSE(reg::GetValue("SOFTWARE\\N", skipped, &data)) << skipped;
  ASSERT_TRUE(reg::GetValue("SOFTWARE\\N", "ok", &data, &type));
  EXPECT_EQ(data, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(reg::GetValue("SOFTWARE\\N", "x", &data, &type));
  EXPECT_EQ(type, 2u);
}

TEST_F(SimulatedWindowsTest, FileNamesIgnoreCaseAndSearchesListDirectories) {
  sim::WriteFile("C:\\Dir\\File.TXT", "x");
  sim::MakeDirectory("C:\\Dir\\Sub");
  EXPECT_TRUE(sim::FileExists("c:\\DIR\\file.txt"));
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA("C:\\dir\\*.*", &found);
  ASSERT_NE(find, plat::kInvalidFind);
  std::vector<std::string> names{found.name};
  while (plat::FindNextFileA(find, &found)) names.push_back(found.name + (found.directory ? "/" : ""));
  plat::FindClose(find);
  EXPECT_EQ(names, (std::vector<std::string>{".", "../", "File.TXT", "Sub/"}));
  find = plat::FindFirstFileA("C:\\dir\\FILE.txt", &found);
  ASSERT_NE(find, plat::kInvalidFind);
  EXPECT_EQ(found.name, "File.TXT");
  plat::FindClose(find);
  EXPECT_EQ(plat::FindFirstFileA("C:\\nowhere\\*.*", &found), plat::kInvalidFind);
  EXPECT_FALSE(plat::RemoveDirectoryA("C:\\Dir"));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorDirNotEmpty);
}

namespace {

struct OpenCase {
  plat::Access heldAccess;
  uint32_t heldShare;
  plat::Access access;
  uint32_t share;
  bool opens;
};

const uint32_t kRead = plat::kFileShareRead, kWrite = plat::kFileShareWrite, kBoth = kRead | kWrite;

plat::FileHandle Open(const std::string& path, plat::Access access, uint32_t share,
                      plat::Disposition how = plat::Disposition::OpenExisting) {
  return plat::CreateFileA(path, access, share, how);
}

}  // namespace

// Each side's access must be allowed by the other side's share mode.
TEST_F(SimulatedWindowsTest, OpenHandlesShareOnlyWhatTheirShareModeAllows) {
  using plat::Access;
  const OpenCase cases[] = {
      {Access::Read, kRead, Access::Read, kRead, true},
      {Access::Read, kRead, Access::Write, kBoth, false},
      {Access::Read, kBoth, Access::Write, kBoth, true},
      {Access::Read, kBoth, Access::Write, kWrite, false},  // the new open does not share reading
      {Access::Write, kBoth, Access::Read, kRead, false},   // ... nor writing
      {Access::Write, kBoth, Access::Read, kBoth, true},
      {Access::ReadWrite, kBoth, Access::Write, kBoth, true},
      {Access::Write, kWrite, Access::Write, kWrite, true},
      {Access::Write, kWrite, Access::Read, kBoth, false},
      {Access::Read, 0, Access::Read, kBoth, false},
  };
  sim::WriteFile("C:\\D\\F.TXT", "x");
  int n = 0;
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << n);
    plat::FileHandle held = Open("C:\\D\\F.TXT", c.heldAccess, c.heldShare);
    ASSERT_NE(held, plat::kInvalidFile) << n;
    plat::FileHandle second = Open("c:\\d\\f.txt", c.access, c.share);
    EXPECT_EQ(second != plat::kInvalidFile, c.opens) << "case " << n;
    if (second == plat::kInvalidFile)
      EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation) << n;
    else
      plat::CloseHandle(second);
    plat::CloseHandle(held);
    ++n;
  }
  // A refused CREATE_ALWAYS leaves the file as it was.
  plat::FileHandle reader = Open("C:\\D\\F.TXT", Access::Read, kRead);
  EXPECT_EQ(Open("C:\\D\\F.TXT", Access::Write, kBoth, plat::Disposition::CreateAlways), plat::kInvalidFile);
  EXPECT_EQ(sim::ReadFile("C:\\D\\F.TXT"), "x");
  plat::CloseHandle(reader);
}

TEST_F(SimulatedWindowsTest, AnOpenFileCannotBeDeletedOrMoved) {
  sim::WriteFile("C:\\D\\F.TXT", "x");
  plat::FileHandle held = Open("C:\\D\\F.TXT", plat::Access::Read, kBoth);
  EXPECT_FALSE(plat::DeleteFileA("C:\\D\\F.TXT"));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
  EXPECT_FALSE(plat::MoveFileA("C:\\D\\F.TXT", "C:\\D\\G.TXT"));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
  // Copying reads it sharing reading and writing.
  EXPECT_TRUE(plat::CopyFileA("C:\\D\\F.TXT", "C:\\D\\COPY.TXT", false));
  plat::CloseHandle(held);
  EXPECT_TRUE(plat::MoveFileA("C:\\D\\F.TXT", "C:\\D\\G.TXT"));

  // A file held without sharing reading cannot be copied; one held without
  // sharing writing cannot be replaced by a copy.
  held = Open("C:\\D\\G.TXT", plat::Access::Write, kWrite);
  EXPECT_FALSE(plat::CopyFileA("C:\\D\\G.TXT", "C:\\D\\H.TXT", false));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
  plat::CloseHandle(held);
  held = Open("C:\\D\\COPY.TXT", plat::Access::Read, kRead);
  EXPECT_FALSE(plat::CopyFileA("C:\\D\\G.TXT", "C:\\D\\COPY.TXT", false));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
  plat::CloseHandle(held);

  // A mapped view keeps its file open, shared for reading only.
  sim::WriteFile("C:\\D\\V.VXD", "MZ");
  plat::FileView view;
  ASSERT_TRUE(plat::MapWholeFile("C:\\D\\V.VXD", &view));
  EXPECT_FALSE(plat::DeleteFileA("C:\\D\\V.VXD"));
  EXPECT_EQ(Open("C:\\D\\V.VXD", plat::Access::Write, kBoth), plat::kInvalidFile);
  plat::UnmapWholeFile(&view);
  EXPECT_TRUE(plat::DeleteFileA("C:\\D\\V.VXD"));
  held = Open("C:\\D\\G.TXT", plat::Access::Write, kBoth);
  EXPECT_FALSE(plat::MapWholeFile("C:\\D\\G.TXT", &view));
  plat::CloseHandle(held);
}

TEST_F(SimulatedWindowsTest, ReadOnlyHiddenAndSystemFilesRefuseWhatWindowsRefuses) {
  for (const char* name : {"RO", "HIDDEN", "SYSTEM", "SOURCE"}) sim::WriteFile(std::string("C:\\D\\") + name, name);
  sim::SetFileAttributes("C:\\D\\RO", true);
  sim::SetFileAttributes("C:\\D\\HIDDEN", false, true);
  sim::SetFileAttributes("C:\\D\\SYSTEM", false, false, true);
  const auto create = [](const std::string& path) {
    plat::FileHandle h = Open(path, plat::Access::Write, kBoth, plat::Disposition::CreateAlways);
    if (h != plat::kInvalidFile) plat::CloseHandle(h);
    return h != plat::kInvalidFile;
  };
  const auto refused = [](bool done) { return !done && plat::GetLastError() == plat::kErrorAccessDenied; };

  // Read-only: readable and renamable, never written, replaced or deleted.
  EXPECT_TRUE(refused(Open("C:\\D\\RO", plat::Access::Write, kBoth) != plat::kInvalidFile));
  EXPECT_TRUE(refused(create("C:\\D\\RO")));
  EXPECT_TRUE(refused(plat::CopyFileA("C:\\D\\SOURCE", "C:\\D\\RO", false)));
  EXPECT_TRUE(refused(plat::DeleteFileA("C:\\D\\RO")));
  plat::FileHandle h = Open("C:\\D\\RO", plat::Access::Read, kRead);
  EXPECT_NE(h, plat::kInvalidFile);
  plat::CloseHandle(h);
  EXPECT_TRUE(plat::MoveFileA("C:\\D\\RO", "C:\\D\\RO2"));
  EXPECT_TRUE(refused(plat::DeleteFileA("C:\\D\\RO2")));  // the attribute moved with it
  EXPECT_TRUE(plat::CopyFileA("C:\\D\\RO2", "C:\\D\\ROCOPY", false));
  EXPECT_TRUE(refused(plat::DeleteFileA("C:\\D\\ROCOPY")));  // and is copied
  sim::SetFileAttributes("C:\\D\\RO2", false);
  EXPECT_TRUE(plat::DeleteFileA("C:\\D\\RO2"));

  // Hidden and system: not replaced by CREATE_ALWAYS or a copy, but opened
  // for writing and deleted.
  for (const char* path : {"C:\\D\\HIDDEN", "C:\\D\\SYSTEM"}) {
    EXPECT_TRUE(refused(create(path))) << path;
    EXPECT_TRUE(refused(plat::CopyFileA("C:\\D\\SOURCE", path, false))) << path;
    EXPECT_EQ(sim::ReadFile(path), std::string(path).substr(5));
    h = Open(path, plat::Access::Write, kBoth);
    EXPECT_NE(h, plat::kInvalidFile) << path;
    plat::CloseHandle(h);
    EXPECT_TRUE(plat::DeleteFileA(path)) << path;
    EXPECT_TRUE(create(path)) << path;  // a new file of that name is a plain one
    EXPECT_TRUE(create(path)) << path;
  }
}

TEST_F(SimulatedWindowsTest, ZeroFileTimesLeaveTheTimesUnchanged) {
  sim::MakeDirectory("C:\\D");
  plat::FileHandle h = Open("C:\\D\\F.TXT", plat::Access::Write, kBoth, plat::Disposition::CreateAlways);
  ASSERT_NE(h, plat::kInvalidFile);
  const sim::Times before = sim::FileTimes("C:\\D\\F.TXT");
  const plat::FileTime zero = 0, when = 127000000000000000ull;
  EXPECT_TRUE(plat::SetFileTime(h, &zero, &when, &zero));
  plat::CloseHandle(h);
  const sim::Times after = sim::FileTimes("C:\\D\\F.TXT");
  EXPECT_EQ(after.creation, before.creation);
  EXPECT_EQ(after.lastAccess, when);
  EXPECT_EQ(after.lastWrite, before.lastWrite);
  EXPECT_NE(before.lastWrite, 0u);
}

// NT's file systems tunnel a name: a file created or renamed under a name
// that was deleted or renamed away up to 15 seconds before takes the old
// file's creation time. Windows 9x does not.
TEST_F(SimulatedWindowsTest, ANameGoneForFifteenSecondsAtMostPassesOnItsCreationTime) {
  const plat::FileTime old = 120000000000000000ull;
  struct Case {
    uint32_t platform;
    bool rename;  // renamed away and another file renamed in; else deleted and created
    int secondsBetween;
    bool tunnelled;
  } cases[] = {
      {plat::kPlatformWin32NT, false, 0, true},
      {plat::kPlatformWin32NT, true, 0, true},
      {plat::kPlatformWin32NT, true, 15, true},
      {plat::kPlatformWin32NT, false, 20, false},
      {plat::kPlatformWin32Windows, true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.platform) + (c.rename ? " rename " : " delete ") + std::to_string(c.secondsBetween));
    sim::Reset(root_);
    sim::SetVersion(c.platform, 4, 0, 1);
    sim::WriteFile("C:\\D\\NAME.SYS", "old");
    sim::WriteFile("C:\\D\\OTHER.SYS", "other");
    plat::FileHandle h = Open("C:\\D\\NAME.SYS", plat::Access::Write, kBoth);
    plat::SetFileTime(h, &old, nullptr, nullptr);
    plat::CloseHandle(h);
    if (c.rename) {
      ASSERT_TRUE(plat::MoveFileA("C:\\D\\NAME.SYS", "C:\\D\\AWAY.SYS"));
      EXPECT_EQ(sim::FileTimes("C:\\D\\AWAY.SYS").creation, old) << "a renamed file keeps its own";
    } else {
      ASSERT_TRUE(plat::DeleteFileA("C:\\D\\NAME.SYS"));
    }
    // Each file created moves the clock on by a second.
    for (int i = 0; i < c.secondsBetween; ++i)
      plat::CloseHandle(Open("C:\\D\\SCRATCH", plat::Access::Write, kBoth, plat::Disposition::CreateAlways));
    const plat::FileTime now = sim::Now();
    if (c.rename) {
      ASSERT_TRUE(plat::MoveFileA("c:\\d\\other.sys", "c:\\d\\name.sys"));
    } else {
      plat::CloseHandle(Open("C:\\D\\NAME.SYS", plat::Access::Write, kBoth, plat::Disposition::CreateAlways));
    }
    const plat::FileTime creation = sim::FileTimes("C:\\D\\NAME.SYS").creation;
    if (c.tunnelled) {
      EXPECT_EQ(creation, old);
    } else {
      EXPECT_NE(creation, old);
      EXPECT_GE(creation, c.rename ? 0 : now);
    }
  }
}

// Blanks separate the arguments of the registry editor and double quotes
// group them, as in every Windows program.
TEST_F(SimulatedWindowsTest, RegistryEditorSplitsItsCommandLineAsWindowsDoes) {
  const auto import = [](const std::string& file, const std::string& key) {
    sim::WriteFile(file, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + key + "]\r\n\"v\"=\"1\"\r\n");
  };
  import("C:\\Documents and Settings\\Jo\\A.REG", "A");
  import("C:\\Documents", "DOCUMENTS");  // what an unquoted path names first
  import("C:\\T\\B.REG", "B");
  struct Case {
    std::string commandLine;
    std::vector<std::string> imported;
  } cases[] = {
      {"C:\\WINDOWS\\REGEDIT.EXE /s \"C:\\Documents and Settings\\Jo\\A.REG\"", {"A"}},
      {"C:\\WINDOWS\\REGEDIT.EXE /s C:\\Documents and Settings\\Jo\\A.REG", {"DOCUMENTS"}},
      {"\"C:\\WINDOWS\\REGEDIT.EXE\" /S C:\\T\\B.REG \"C:\\Documents and Settings\\Jo\\A.REG\"", {"B", "A"}},
      {"C:\\WINDOWS\\REGEDIT.EXE /s", {}},
  };
  for (const Case& c : cases) {
    for (const char* key : {"A", "DOCUMENTS", "B"})
      plat::RegDeleteKeyA(plat::kHKeyLocalMachine, std::string("SOFTWARE\\") + key);
    plat::ProcessHandle process = plat::CreateProcessA("", c.commandLine, "", 0);
    ASSERT_NE(process, 0) << c.commandLine;
    EXPECT_EQ(plat::WaitForProcess(process), 0u);  // it exits with 0 whatever it imported
    std::vector<std::string> imported;
    for (const char* key : {"A", "DOCUMENTS", "B"})
      if (reg::KeyExists(plat::kHKeyLocalMachine, std::string("SOFTWARE\\") + key)) imported.push_back(key);
    std::sort(imported.begin(), imported.end());
    std::vector<std::string> expected = c.imported;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(imported, expected) << c.commandLine;
  }
  // The program itself may stand unquoted in a directory with blanks.
  sim::SetWindowsDirectory("C:\\MY WINDOWS");
  plat::ProcessHandle process = plat::CreateProcessA("", "C:\\MY WINDOWS\\REGEDIT.EXE /s C:\\T\\B.REG", "", 0);
  ASSERT_NE(process, 0);
  plat::WaitForProcess(process);
  EXPECT_EQ(plat::CreateProcessA("", "\"C:\\MY\" WINDOWS\\REGEDIT.EXE /s C:\\T\\B.REG", "", 0), 0);
  // Named as the program, the editor is that path whatever the command line
  // says; a relative name is looked for in the current directory only, and
  // the new process's current directory must exist.
  plat::RegDeleteKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\B");
  sim::MakeDirectory("C:\\MY WINDOWS");
  process = plat::CreateProcessA("C:\\MY WINDOWS\\REGEDIT.EXE", "C:\\MY WINDOWS\\REGEDIT.EXE /s C:\\T\\B.REG",
                                 "C:\\MY WINDOWS", 0);
  ASSERT_NE(process, 0);
  plat::WaitForProcess(process);
  EXPECT_TRUE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\B"));
  sim::MakeDirectory("C:\\T");
  sim::SetCurrentDirectory("C:\\T");
  EXPECT_EQ(plat::CreateProcessA("REGEDIT.EXE", "REGEDIT.EXE /s C:\\T\\B.REG", "", 0), 0);
  EXPECT_EQ(plat::GetLastError(), plat::kErrorFileNotFound);
  EXPECT_EQ(plat::CreateProcessA("C:\\MY WINDOWS\\REGEDIT.EXE", "REGEDIT.EXE /s B.REG", "C:\\NONE", 0), 0);
  EXPECT_EQ(plat::GetLastError(), 267u);  // ERROR_DIRECTORY
}

// On NT, RegCreateKeyA asks for the most access allowed.
TEST_F(SimulatedWindowsTest, CreatingAnExistingMachineKeyWithoutRightsOpensItForReading) {
  reg::SetValue("SOFTWARE\\Vendor", "v", plat::kRegSz, Bytes("1\0"s));
  sim::SetAdmin(false);
  plat::RegKey key = 0;
  ASSERT_EQ(plat::RegCreateKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\Vendor", &key), 0);
  uint8_t data[4];
  uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(plat::RegQueryValueExA(key, "v", &type, data, &size), 0);
  const uint8_t two[] = {'2', 0};
  EXPECT_EQ(plat::RegSetValueExA(key, "v", plat::kRegSz, two, 2), long(plat::kErrorAccessDenied));
  plat::RegCloseKey(key);
  EXPECT_EQ(plat::RegCreateKeyA(plat::kHKeyLocalMachine, "SOFTWARE\\Vendor\\New", &key),
            long(plat::kErrorAccessDenied));
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\Vendor\\New"));
  EXPECT_EQ(plat::RegCreateKeyExA(plat::kHKeyLocalMachine, "SOFTWARE\\Vendor", plat::kKeyAllAccess, &key),
            long(plat::kErrorAccessDenied));
  // The current user's own keys are his to write.
  EXPECT_EQ(plat::RegCreateKeyA(plat::kHKeyCurrentUser, "Software\\Mine", &key), 0);
  EXPECT_EQ(plat::RegSetValueExA(key, "v", plat::kRegSz, two, 2), 0);
  plat::RegCloseKey(key);
}

// The 8-bit file functions stop at MAX_PATH; a directory leaves room for an
// 8.3 name. A directory the user may not write to refuses every change in it.
TEST_F(SimulatedWindowsTest, LongPathsAndReadOnlyDirectoriesAreRefused) {
  const std::string dir = "C:\\" + std::string(40, 'd') + "\\" + std::string(40, 'd') + "\\" + std::string(40, 'd') +
                          "\\" + std::string(40, 'd') + "\\" + std::string(40, 'd') + "\\";
  sim::MakeDirectory(dir);  // 208 characters with the last backslash
  EXPECT_TRUE(plat::CreateDirectoryA(dir + std::string(39, 'e')));   // 247
  EXPECT_FALSE(plat::CreateDirectoryA(dir + std::string(40, 'f')));  // 248
  EXPECT_EQ(plat::GetLastError(), 206u);
  plat::FileHandle file = plat::CreateFileA(dir + std::string(51, 'g'), plat::Access::Write, 0,
                                            plat::Disposition::CreateAlways);  // 259
  EXPECT_NE(file, plat::kInvalidFile);
  plat::CloseHandle(file);
  EXPECT_EQ(plat::CreateFileA(dir + std::string(52, 'h'), plat::Access::Write, 0, plat::Disposition::CreateAlways),
            plat::kInvalidFile);
  EXPECT_EQ(plat::GetLastError(), 206u);

  sim::WriteFile("C:\\RO\\old.txt", "old");
  sim::DenyWritesIn("C:\\RO");
  EXPECT_EQ(plat::CreateFileA("C:\\RO\\new.txt", plat::Access::Write, 0, plat::Disposition::CreateAlways),
            plat::kInvalidFile);
  EXPECT_EQ(plat::GetLastError(), plat::kErrorAccessDenied);
  EXPECT_FALSE(plat::DeleteFileA("C:\\RO\\old.txt"));
  EXPECT_FALSE(plat::MoveFileA("C:\\RO\\old.txt", "C:\\WORK\\old.txt"));
  EXPECT_FALSE(plat::CopyFileA("C:\\WORK\\..\\RO\\old.txt", "C:\\RO\\copy.txt", false));
  EXPECT_FALSE(plat::CreateDirectoryA("C:\\RO\\SUB"));
  plat::FileHandle read = plat::CreateFileA("C:\\RO\\old.txt", plat::Access::Read, plat::kFileShareRead,
                                            plat::Disposition::OpenExisting);
  EXPECT_NE(read, plat::kInvalidFile);  // reading works
  plat::CloseHandle(read);
  EXPECT_EQ(sim::ReadFile("C:\\RO\\old.txt"), "old");
  // Below it, another directory is not affected.
  EXPECT_TRUE(plat::CreateDirectoryA("C:\\WORK\\SUB"));
}
