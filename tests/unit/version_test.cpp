// Version texts: parsing into four numbers and the newer-than comparison,
// with the log lines support relies on.
#include "package/version.h"

#include "sim_fixture.h"

using Lines = std::vector<std::string>;

class VersionTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    StartLog();
  }
  // Parses and returns the four numbers; *ok tells whether it parsed.
  static std::vector<int32_t> Parse(const std::string& text, bool* ok) {
    int32_t a = -7, b = -7, c = -7, d = -7;
    *ok = VersionStringToNumbers(text, &a, &b, &c, &d);
    return {a, b, c, d};
  }
};

TEST_F(VersionTest, WellFormedTextsParse) {
  bool ok = false;
  EXPECT_EQ(Parse("1.0.3.40", &ok), (std::vector<int32_t>{1, 0, 3, 40}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse("5.1.26", &ok), (std::vector<int32_t>{5, 1, 26, 0}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse("1. 2. 3. 4", &ok), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse("$10.0x1F.x2.-3", &ok), (std::vector<int32_t>{16, 31, 2, -3}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse("2147483647.-2147483648.+0.0", &ok), (std::vector<int32_t>{2147483647, INT32_MIN, 0, 0}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(LogLines(), (Lines{"VSTN: Success: 1 0 3 40", "VSTN: Success: 5 1 26 0", "VSTN: Success: 1 2 3 4",
                               "VSTN: Success: 16 31 2 -3", "VSTN: Success: 2147483647 -2147483648 0 0"}));
}

TEST_F(VersionTest, MalformedTextsFailKeepingTheFieldsReadSoFar) {
  bool ok = true;
  EXPECT_EQ(Parse("1.2", &ok), (std::vector<int32_t>{1, 0, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1.2.3.4.5", &ok), (std::vector<int32_t>{1, 2, 3, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1.2.3.", &ok), (std::vector<int32_t>{1, 2, 3, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1..3.4", &ok), (std::vector<int32_t>{1, 0, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1, 0, 3, 40", &ok), (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1.2.3.4 ", &ok), (std::vector<int32_t>{1, 2, 3, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1.2.2147483648.0", &ok), (std::vector<int32_t>{1, 2, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1.-$5.0.0", &ok), (std::vector<int32_t>{1, 0, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Parse("1.+.0.0", &ok), (std::vector<int32_t>{1, 0, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(LogLines(), (Lines{"VSTN: Fail: 1 0 0 0", "VSTN: Fail: 1 2 3 0", "VSTN: Fail: 1 2 3 0",
                               "VSTN: Fail: 1 0 0 0", "VSTN: Fail: 0 0 0 0", "VSTN: Fail: 1 2 3 0",
                               "VSTN: Fail: 1 2 0 0", "VSTN: Fail: 1 0 0 0", "VSTN: Fail: 1 0 0 0"}));
}

TEST_F(VersionTest, EmptyTextFailsWithoutALogLine) {
  bool ok = true;
  EXPECT_EQ(Parse("", &ok), (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(VersionTest, NewerComparesTheFourNumbersInOrder) {
  EXPECT_FALSE(VerANewer("1.0.3.40", "1.0.3.40"));
  EXPECT_TRUE(VerANewer("1.0.3.41", "1.0.3.40"));
  EXPECT_FALSE(VerANewer("1.0.3.40", "1.0.4.0"));
  EXPECT_TRUE(VerANewer("2.0.0.0", "1.9.9.9"));
  EXPECT_FALSE(VerANewer("1.0.3", "1.0.3.0"));
  EXPECT_TRUE(VerANewer("1.0.0.0", "1.-1.0.0"));
  EXPECT_TRUE(VerANewer("10.0.0.0", "9.0.0.0"));  // numbers, not text
  Lines log = LogLines();
  ASSERT_EQ(log.size(), 21u);
  EXPECT_EQ(log[2], "VerANewer: False");
  EXPECT_EQ(log[5], "VerANewer: True");
  EXPECT_EQ(log[12], "VSTN: Success: 1 0 3 0");
  EXPECT_EQ(log[16], "VSTN: Success: 1 -1 0 0");
  EXPECT_EQ(log[20], "VerANewer: True");
}

TEST_F(VersionTest, EmptyVersionsDecideWithoutParsing) {
  EXPECT_TRUE(VerANewer("", ""));
  EXPECT_FALSE(VerANewer("", "1.0.0.0"));
  EXPECT_TRUE(VerANewer("1.0.0.0", ""));
  EXPECT_EQ(LogLines(), (Lines{"VAN: A & B empty: True", "VAN: A empty: False", "VAN: B empty: True"}));
}

TEST_F(VersionTest, UnparsableSideIsNeverNewer) {
  EXPECT_FALSE(VerANewer("1.0.0.0", "x.y"));
  EXPECT_FALSE(VerANewer("x.y", "1.0.0.0"));
  EXPECT_EQ(LogLines(), (Lines{"VSTN: Success: 1 0 0 0", "VSTN: Fail: 0 0 0 0", "VerANewer: False",
                               "VSTN: Fail: 0 0 0 0", "VerANewer: False"}));
}
