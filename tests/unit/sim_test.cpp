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
  plat::ProcessHandle process = plat::CreateProcessA("c:\\windows\\regedit.exe /s C:\\T\\IMPORT.REG", 0);
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
  EXPECT_EQ(plat::CreateProcessA("C:\\WINDOWS\\NOTEPAD.EXE", 0), 0);
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
