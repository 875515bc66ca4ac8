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
