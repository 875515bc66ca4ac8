// A fresh simulated machine for every test, with the library initialised as
// at program start, and helpers to read the debug log.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/sim.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = (std::filesystem::temp_directory_path() /
             ("vqdsim-" + std::to_string(getpid()) + "-" + info->test_suite_name() + "-" + info->name()))
                .string();
    sim::Reset(root_);
    InitLibrary();
  }
  void TearDown() override {
    CloseDebugLog();
    DebugEnabled = DebugLogOpen = false;
    std::filesystem::remove_all(root_);
  }

  // Switches logging on and opens C:\VQDINST.LOG (the banner is its first line).
  static void StartLog() {
    DebugEnabled = true;
    OpenDebugLog();
  }

  // The lines of the log as they stand (CR LF ended); the banner is dropped
  // when withBanner is false.
  static std::vector<std::string> LogLines(bool withBanner = false) {
    std::string text = sim::ReadFile("C:\\VQDINST.LOG");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      EXPECT_NE(end, std::string::npos) << "log line without CR LF";
      if (end == std::string::npos) break;
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    if (!withBanner && !lines.empty()) lines.erase(lines.begin());
    return lines;
  }

  std::string root_;
};

// Registry access for tests, straight through the platform layer.
namespace reg {

inline bool KeyExists(plat::RegKey root, const std::string& path) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(root, path, &key) != 0) return false;
  plat::RegCloseKey(key);
  return true;
}

inline void CreateKey(const std::string& path, plat::RegKey root = plat::kHKeyLocalMachine) {
  plat::RegKey key = 0;
  ASSERT_EQ(plat::RegCreateKeyA(root, path, &key), 0) << path;
  plat::RegCloseKey(key);
}

inline void SetValue(const std::string& path, const std::string& name, uint32_t type,
                     const std::vector<uint8_t>& data, plat::RegKey root = plat::kHKeyLocalMachine) {
  plat::RegKey key = 0;
  ASSERT_EQ(plat::RegCreateKeyA(root, path, &key), 0) << path;
  plat::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  plat::RegCloseKey(key);
}

// The value's bytes; false when the key or value is missing.
inline bool GetValue(const std::string& path, const std::string& name, std::vector<uint8_t>* data,
                     uint32_t* type = nullptr, plat::RegKey root = plat::kHKeyLocalMachine) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(root, path, &key) != 0) return false;
  uint32_t size = 0, t = 0;
  bool found = plat::RegQueryValueExA(key, name, &t, nullptr, &size) == 0;
  if (found) {
    data->assign(size, 0);
    found = plat::RegQueryValueExA(key, name, &t, data->data(), &size) == 0;
  }
  if (type) *type = t;
  plat::RegCloseKey(key);
  return found;
}

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace reg
