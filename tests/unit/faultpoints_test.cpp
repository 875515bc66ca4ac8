// The failure points of the simulated Windows: counted in order, the n-th
// made to fail like any refusal, and nothing counted outside a count.
#include "sim_fixture.h"

class FailurePointsTest : public SimTest {};

TEST_F(FailurePointsTest, TheNthPointFailsAndEveryPointIsRecorded) {
  sim::WriteFile("C:\\WORK\\a.txt", "a");
  const auto run = [] {
    plat::RegKey key = 0;
    long open = plat::RegOpenKeyA(plat::kHKeyLocalMachine, "SOFTWARE", &key);
    if (open == 0) plat::RegCloseKey(key);
    bool deleted = plat::DeleteFileA("C:\\WORK\\a.txt");
    return std::make_pair(open, deleted);
  };
  sim::CountFailurePoints(0);
  EXPECT_EQ(run(), std::make_pair(0L, true));
  const auto points = sim::FailurePointsPassed();
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].function, "RegOpenKeyA");
  EXPECT_EQ(points[0].path, "HKLM\\SOFTWARE");
  EXPECT_EQ(points[1].function, "RegCloseKey");
  EXPECT_EQ(points[2].function, "DeleteFileA");
  EXPECT_EQ(points[2].path, "C:\\WORK\\a.txt");

  // The first point fails: the key is not opened, so there is nothing to
  // close, and the file goes.
  sim::WriteFile("C:\\WORK\\a.txt", "a");
  sim::CountFailurePoints(1);
  EXPECT_EQ(run(), std::make_pair(static_cast<long>(plat::kErrorAccessDenied), true));
  EXPECT_EQ(sim::FailurePointsPassed().size(), 2u);

  sim::WriteFile("C:\\WORK\\a.txt", "a");
  sim::CountFailurePoints(3);
  EXPECT_EQ(run(), std::make_pair(0L, false));
  EXPECT_EQ(plat::GetLastError(), plat::kErrorAccessDenied);
  EXPECT_TRUE(sim::FileExists("C:\\WORK\\a.txt"));

  // Stopped: nothing more is recorded or failed.
  sim::StopCountingFailurePoints();
  EXPECT_EQ(run(), std::make_pair(0L, true));
  EXPECT_EQ(sim::FailurePointsPassed().size(), 3u);
}
