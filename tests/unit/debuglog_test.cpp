// The debug log's life: when the file appears, its banner, where it goes, and
// what happens when it cannot be written.
#include "vqdlib/debuglog.h"

#include "sim_fixture.h"

using Lines = std::vector<std::string>;

class DebugLogTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::SetDateTimeText("07/12/2026 09:15:30");
    sim::WriteFile("C:\\SETUP\\VQDINST.EXE", "no version resource here");
  }
};

TEST_F(DebugLogTest, NothingIsWrittenWhileLoggingIsOff) {
  DebugLog("GFV");
  OpenDebugLog();
  CloseDebugLog();
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
  EXPECT_FALSE(DebugEnabled);
  EXPECT_FALSE(DebugLogOpen);
}

TEST_F(DebugLogTest, OpeningWritesTheBannerFirstAndReplacesAnOldLog) {
  sim::WriteFile("C:\\VQDINST.LOG", "old line\r\nold line\r\n");
  DebugEnabled = true;
  OpenDebugLog();
  EXPECT_TRUE(DebugLogOpen);
  DebugLog("MAIN: Sanity check switch activated");
  // No version resource: two blanks after the program name.
  EXPECT_EQ(LogLines(true), (Lines{"VQDINST  log file created 07/12/2026 09:15:30",
                                   "MAIN: Sanity check switch activated"}));
}

TEST_F(DebugLogTest, FirstLineOpensTheLogLazily) {
  DebugEnabled = true;
  DebugLog("IA");
  Lines lines = LogLines(true);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("VQDINST ", 0), 0u);
  EXPECT_EQ(lines[1], "IA");
}

TEST_F(DebugLogTest, TheVersionLookupAndWindowsDirectoryDoNotLogIntoTheNewLog) {
  DebugEnabled = true;
  OpenDebugLog();
  // The banner alone: no "GFV" or "GWD" lines from the open itself.
  EXPECT_EQ(LogLines(true).size(), 1u);
  GetWindowsDir();
  GetSystemDir();
  EXPECT_EQ(LogLines(), (Lines{"GWD", "GWD: C:\\WINDOWS", "GSD", "GSD: C:\\WINDOWS\\SYSTEM32"}));
}

TEST_F(DebugLogTest, ClosingSwitchesLoggingOff) {
  StartLog();
  DebugLog("one");
  CloseDebugLog();
  EXPECT_FALSE(DebugEnabled);
  EXPECT_FALSE(DebugLogOpen);
  DebugLog("two");
  EXPECT_EQ(LogLines(), (Lines{"one"}));
}

TEST_F(DebugLogTest, LogGoesToTheRootOfTheWindowsDrive) {
  EXPECT_EQ(DebugLogPath("D:\\WINNT"), "D:\\VQDINST.LOG");
  EXPECT_EQ(DebugLogPath("\\\\server\\share\\windows"), "\\\\server\\share\\VQDINST.LOG");
  EXPECT_EQ(DebugLogPath(""), "\\VQDINST.LOG");
  sim::MakeDirectory("D:\\WINNT");
  sim::SetWindowsDirectory("D:\\WINNT");
  StartLog();
  EXPECT_TRUE(sim::FileExists("D:\\VQDINST.LOG"));
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
}

TEST_F(DebugLogTest, UncreatableLogSwitchesLoggingOffAndTheRunGoesOn) {
  sim::FailCalls("CreateFileA", 1, "VQDINST.LOG");
  DebugEnabled = true;
  DebugLog("IA");
  EXPECT_FALSE(DebugEnabled);
  EXPECT_FALSE(DebugLogOpen);
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
  DebugLog("IA: NT/2K: Is an Admin");  // no error, nothing written
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
}

TEST_F(DebugLogTest, FailedWriteClosesTheLog) {
  StartLog();
  DebugLog("kept");
  sim::FailCalls("WriteFile", 1, "VQDINST.LOG");
  DebugLog("lost");
  EXPECT_FALSE(DebugLogOpen);
  EXPECT_FALSE(DebugEnabled);
  DebugLog("after");
  // A write that fails may have written part of its line; nothing follows.
  const std::string text = sim::ReadFile("C:\\VQDINST.LOG");
  EXPECT_EQ(text.substr(text.find("kept")), "kept\r\nlos");
}
