// Key deletion on both families, and the CD-ROM class lower filter list:
// the bytes stored after each edit and the log support reads.
#include <random>

#include "sim_fixture.h"
#include "vqdlib/registry.h"

using Lines = std::vector<std::string>;
using reg::Bytes;
using std::string_literals::operator""s;

namespace {

void Service(const std::string& name) { reg::CreateKey(kServices + name); }

// Stores LowerFilters; \0 in the text stands for the zero bytes.
void StoreFilters(const std::string& bytes, uint32_t type = plat::kRegMultiSz) {
  reg::SetValue(CdromClassKey, "LowerFilters", type, Bytes(bytes));
}

std::string StoredFilters(uint32_t* type = nullptr) {
  std::vector<uint8_t> data;
  if (!reg::GetValue(CdromClassKey, "LowerFilters", &data, type)) return "<none>";
  return std::string(data.begin(), data.end());
}
}  // namespace

class DeleteKeyTest : public SimTest {};

TEST_F(DeleteKeyTest, NtDeletesOneLevelOfSubkeysFirst) {
  StartLog();
  reg::CreateKey("SOFTWARE\\K\\A");
  reg::CreateKey("SOFTWARE\\K\\B");
  reg::CreateKey("SOFTWARE\\FLAT");
  EXPECT_TRUE(DeleteKey("SOFTWARE\\K"));
  EXPECT_TRUE(DeleteKey("SOFTWARE\\FLAT"));
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\K"));
  EXPECT_FALSE(DeleteKey("SOFTWARE\\ABSENT"));
  EXPECT_EQ(LogLines(), (Lines{"DK: NT/2K: DeleteKey SOFTWARE\\K", "DK: NT/2K: DeleteKey SOFTWARE\\K SUCCESS",
                               "DK: NT/2K: DeleteKey SOFTWARE\\FLAT", "DK: NT/2K: DeleteKey SOFTWARE\\FLAT SUCCESS",
                               "DK: NT/2K: DeleteKey SOFTWARE\\ABSENT"}));
}

TEST_F(DeleteKeyTest, NtLeavesDeeperTreesInPlace) {
  reg::CreateKey("SOFTWARE\\K\\A\\INNER");
  reg::CreateKey("SOFTWARE\\K\\B");
  StartLog();
  EXPECT_FALSE(DeleteKey("SOFTWARE\\K"));
  EXPECT_TRUE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\K\\A\\INNER"));
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\K\\B"));
  EXPECT_EQ(LogLines().back(), "DK: NT/2K: DeleteKey SOFTWARE\\K FAILED");
}

TEST_F(DeleteKeyTest, NinetyEightDeletesTheWholeTree) {
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  InitLibrary();
  reg::CreateKey("SOFTWARE\\K\\A\\INNER\\DEEPER");
  reg::CreateKey("SOFTWARE\\K\\B");
  StartLog();
  EXPECT_TRUE(DeleteKey("SOFTWARE\\K"));
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\K"));
  EXPECT_FALSE(DeleteKey("SOFTWARE\\K"));
  EXPECT_EQ(LogLines(), (Lines{"DK: 9X: DeleteKey SOFTWARE\\K SUCCESS", "DK: 9X: DeleteKey SOFTWARE\\K FAILED"}));
}

class LowerFilterTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    reg::CreateKey(CdromClassKey);
    Service("VQD2K");
    Service("IMAPI");
    Service("REDBOOK");
  }
};

TEST_F(LowerFilterTest, AddingToNoValueWritesTheNameAlone) {
  StartLog();
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  uint32_t type = 0;
  EXPECT_EQ(StoredFilters(&type), "VQD2K\0\0"s);
  EXPECT_EQ(type, plat::kRegMultiSz);
  EXPECT_EQ(LogLines(), (Lines{"ALF", "ALF: new filter not empty: VQD2K", "ALF: Opened CDROM class key",
                               "ALF: no existing LowerFilter key", "FBD: Begin", "FBD: Had \\ killing", "FBD: End",
                               "ALF: didn't find bad driver in: VQD2K\\\\", "ALF: Writing LowerFilter value VQD2K\\\\",
                               "ALF: Succeeded"}));
}

TEST_F(LowerFilterTest, AddingPutsTheNameFirstAndUppercasesTheList) {
  StoreFilters("imapi\0\0"s, plat::kRegSz);
  EXPECT_TRUE(AddLowerFilter("vqd2k"));
  uint32_t type = 0;
  EXPECT_EQ(StoredFilters(&type), "VQD2K\0IMAPI\0\0"s);
  EXPECT_EQ(type, plat::kRegMultiSz);
  // Present already: nothing added, but rewritten.
  StoreFilters("imapi\0vqd2k\0\0"s);
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "IMAPI\0VQD2K\0\0"s);
  // Windows reads up to the first empty string: a copy after it loads
  // nothing. The name goes first, once, and the rest stays in its order.
  StoreFilters("imapi\0\0VQD2K\0redbook\0\0"s);
  EXPECT_FALSE(CheckLowerFilter("VQD2K"));
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0IMAPI\0REDBOOK\0\0"s);
  EXPECT_TRUE(CheckLowerFilter("VQD2K"));
  // An entry with a backslash names no service: kept byte for byte.
  StoreFilters("imapi\0Odd\\Name\0\0"s);
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0IMAPI\0Odd\\Name\0\0"s);
}

TEST_F(LowerFilterTest, AddingMatchesWholeEntriesOnly) {
  Service("XVQD2KY");
  StoreFilters("XVQD2KY\0\0"s);
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0XVQD2KY\0\0"s);
  EXPECT_TRUE(CheckLowerFilter("VQD2K"));
}

TEST_F(LowerFilterTest, AddingSweepsEveryEntryWithoutAService) {
  StoreFilters("bad1\0imapi\0bad2\0redbook\0\0"s);
  StartLog();
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0IMAPI\0REDBOOK\0\0"s);
  Lines log = LogLines();
  Lines sweeps;
  for (const std::string& line : log)
    if (line.find("bad driver in") != std::string::npos) sweeps.push_back(line);
  EXPECT_EQ(sweeps, (Lines{"ALF: found bad driver in: VQD2K\\BAD1\\IMAPI\\BAD2\\REDBOOK\\\\",
                           "ALF: found bad driver in: VQD2K\\IMAPI\\BAD2\\REDBOOK\\\\",
                           "ALF: didn't find bad driver in: VQD2K\\IMAPI\\REDBOOK\\\\"}));
}

TEST_F(LowerFilterTest, AddingRepairsTheTerminators) {
  StoreFilters("IMAPI"s, plat::kRegSz);  // no terminator at all
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0IMAPI\0\0"s);
  StoreFilters("IMAPI\0\0\0\0\0"s);  // five: two are left
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0IMAPI\0\0"s);
}

TEST_F(LowerFilterTest, FullOrOversizedListsKeepTheirEntries) {
  // 1024 - 5 bytes: no room for "VQD2K\0", nothing is added.
  std::string full = "IMAPI" + std::string(1024 - 5 - 5 - 2, 'X');
  Service(full);
  StoreFilters(full + "\0\0"s);
  StartLog();
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), full + "\0\0"s);
  EXPECT_EQ(LogLines()[4], "ALF: Found add value in existing LowerFilter");
  // Larger than the buffer: left as it is and reported as a failure.
  std::string oversized = "IMAPI\0"s + std::string(1100, 'Y') + "\0\0"s;
  StoreFilters(oversized);
  EXPECT_FALSE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), oversized);
  EXPECT_EQ(LogLines().back(), "ALF: Failed");
  EXPECT_FALSE(RemoveLowerFilter("IMAPI"));
  EXPECT_FALSE(CheckLowerFilter("IMAPI"));
  EXPECT_EQ(StoredFilters(), oversized);
}

TEST_F(LowerFilterTest, MissingClassKeyFailsEveryOperation) {
  ASSERT_EQ(plat::RegDeleteKeyA(plat::kHKeyLocalMachine, CdromClassKey), 0);
  StartLog();
  EXPECT_FALSE(AddLowerFilter("VQD2K"));
  EXPECT_FALSE(RemoveLowerFilter("VQD2K"));
  EXPECT_FALSE(CheckLowerFilter("VQD2K"));
  EXPECT_TRUE(AddLowerFilter(""));
  EXPECT_EQ(LogLines(), (Lines{"ALF", "ALF: new filter not empty: VQD2K", "ALF: Failed", "RLF",
                               "RLF: Remove filter not empty: VQD2K", "CLF", "CLF: Check filter not empty: VQD2K",
                               "ALF"}));
}

TEST_F(LowerFilterTest, RemovingTakesOneWholeEntry) {
  StoreFilters("VQD2K\0IMAPI\0\0"s);
  StartLog();
  EXPECT_TRUE(RemoveLowerFilter("vqd2k"));
  EXPECT_EQ(StoredFilters(), "IMAPI\0\0"s);
  EXPECT_EQ(LogLines(), (Lines{"RLF", "RLF: Remove filter not empty: vqd2k", "RLF: Opened CDROM class",
                               "RLF: Read LowerFilters", "RLF: Found remove value in LowerFilter",
                               "RLF: Writing LowerFilter value IMAPI\\\\"}));
  // A longer entry holding the name is not cut.
  StoreFilters("XVQD2KY\0IMAPI\0\0"s);
  EXPECT_FALSE(RemoveLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "XVQD2KY\0IMAPI\0\0"s);
  StoreFilters("IMAPI\0VQD2K"s);  // last entry without terminator
  EXPECT_TRUE(RemoveLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "IMAPI\0\0"s);
}

// Removing a name never takes another entry with it, whether the list ends
// in its two zeros, in one, or in none.
TEST_F(LowerFilterTest, RemovingFromAnUnterminatedListKeepsTheOtherEntries) {
  Service("A");
  const struct {
    std::string stored, after;
  } cases[] = {
      {"A\0VQD2K"s, "A\0\0"s},       {"A\0VQD2K\0"s, "A\0\0"s},     {"A\0VQD2K\0\0"s, "A\0\0"s},
      {"VQD2K\0A"s, "A\0\0"s},       {"VQD2K\0A\0"s, "A\0\0"s},     {"VQD2K\0\0A"s, "A\0\0"s},
      {"VQD2K"s, "<none>"},          {"VQD2K\0"s, "<none>"},         {"VQD2K\0\0"s, "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.stored));
    StoreFilters(c.stored);
    EXPECT_TRUE(RemoveLowerFilter("VQD2K"));
    EXPECT_EQ(StoredFilters(), c.after) << c.stored.size();
  }
}

// A name listed twice (another installer added it again) is removed
// entirely: a copy left behind would name a driver that is gone.
TEST_F(LowerFilterTest, RemovingTakesEveryEntryOfTheName) {
  const struct {
    std::string stored, after;
  } cases[] = {
      {"VQD2K\0IMAPI\0vqd2k\0\0"s, "IMAPI\0\0"s},
      {"IMAPI\0VQD2K\0VQD2K\0REDBOOK\0\0"s, "IMAPI\0REDBOOK\0\0"s},
      {"VQD2K\0VQD2K\0\0"s, "<none>"},
      {"VQD2K\0XVQD2K\0VQD2K"s, "XVQD2K\0\0"s},
      {"IMAPI\0\0VQD2K\0\0REDBOOK\0\0"s, "IMAPI\0REDBOOK\0\0"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.stored));
    StoreFilters(c.stored);
    EXPECT_TRUE(RemoveLowerFilter("VQD2K"));
    EXPECT_EQ(StoredFilters(), c.after) << c.stored.size();
  }
}

TEST_F(LowerFilterTest, RemovingTheOnlyEntryDeletesTheValue) {
  StoreFilters("VQD2K\0\0"s);
  StartLog();
  EXPECT_TRUE(RemoveLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "<none>");
  EXPECT_EQ(LogLines().back(), "RLF: LowerFilter empty after delete. Removing");
  EXPECT_FALSE(RemoveLowerFilter("VQD2K"));
}

TEST_F(LowerFilterTest, CheckNeedsTheEntryATerminatorAndNoBadDriver) {
  StoreFilters("IMAPI\0VQD2K\0\0"s);
  EXPECT_TRUE(CheckLowerFilter("vqd2k"));
  StoreFilters("IMAPI\0VQD2K\0GHOST\0\0"s);
  EXPECT_FALSE(CheckLowerFilter("VQD2K"));
  StoreFilters("IMAPI\0VQD2K\0\0GHOST\0\0"s);  // Windows reads no further than the empty string
  EXPECT_TRUE(CheckLowerFilter("VQD2K"));
  StoreFilters("IMAPI\0VQD2K"s);
  EXPECT_FALSE(CheckLowerFilter("VQD2K"));
  StoreFilters("IMAPI\0XVQD2K\0\0"s);
  StartLog();
  EXPECT_FALSE(CheckLowerFilter("VQD2K"));
  EXPECT_EQ(LogLines()[3], "CLF: Didn't find check value in LowerFilter");
}

// Removing VQD2K from random lists, and adding and then removing it, never
// loses or changes any entry that has a service (beyond upper case), keeps
// their order, and every stored list ends in two zero bytes. The lists hold
// VQD2K anywhere or not at all, and end in two, one or no zero bytes.
TEST_F(LowerFilterTest, AddThenRemoveKeepsEveryOtherEntry) {
  const std::vector<std::string> withService = {"imapi", "Redbook", "XVQD2KY", "VQD2", "vqd2kx", "A", "b", "C"};
  for (const auto& name : withService) Service(name);
  const std::vector<std::string> withoutService = {"ghost", "OLDFLT", "vqd2kz"};
  std::mt19937 random(20261207);
  for (int round = 0; round < 1000; ++round) {
    std::vector<std::string> entries;
    // Short lists half of the time: their last entries meet the list's end.
    int count = static_cast<int>(random() % 2 ? random() % 3 : random() % 8);
    for (int i = 0; i < count; ++i) {
      switch (random() % 5) {
        case 0: entries.push_back(withoutService[random() % withoutService.size()]); break;
        case 1: entries.push_back(""); break;
        case 2: entries.push_back(random() % 2 ? "VQD2K" : "vqd2k"); break;
        default: entries.push_back(withService[random() % withService.size()]);
      }
    }
    if (random() % 5 == 0) {  // near the size limit
      std::string big(900 + random() % 200, 'z');
      Service(big);
      entries.push_back(big);
    }
    std::string bytes;
    for (const auto& e : entries) bytes += e + '\0';
    switch (random() % 4) {
      case 0: if (!bytes.empty()) bytes.pop_back(); break;  // no closing zero at all
      case 1: break;                                        // one
      default: bytes += std::string(random() % 3, '\0');   // two, three or four
    }
    if (bytes.empty()) continue;
    StoreFilters(bytes);

    RemoveLowerFilter("VQD2K");
    std::string removedFirst = StoredFilters();
    StoreFilters(bytes);
    AddLowerFilter("VQD2K");
    std::string afterAdd = StoredFilters();
    RemoveLowerFilter("VQD2K");
    std::string afterRemove = StoredFilters();

    for (const std::string& stored : {removedFirst, afterAdd, afterRemove}) {
      if (stored == "<none>" || stored == bytes) continue;  // not written
      ASSERT_GE(stored.size(), 2u) << round;
      EXPECT_EQ(stored.substr(stored.size() - 2), "\0\0"s) << round;
    }
    // The entries with a service, in order; only their case may change (a
    // list too large to edit is left exactly as it was).
    auto upper = [](std::string e) {
      for (char& c : e) c = static_cast<char>(toupper(c));
      return e;
    };
    std::vector<std::string> expected;
    for (const auto& e : entries)
      if (std::find(withService.begin(), withService.end(), e) != withService.end() || e.size() >= 900)
        expected.push_back(upper(e));
    for (const std::string& stored : {removedFirst, afterRemove}) {
      std::vector<std::string> kept;
      std::string text = stored == "<none>" ? "" : stored;
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        std::string entry = text.substr(start, end - start);
        bool sameText = entry == upper(entry) || bytes.find(entry) != std::string::npos;
        EXPECT_TRUE(sameText) << entry;
        if (std::find(expected.begin(), expected.end(), upper(entry)) != expected.end())
          kept.push_back(upper(entry));
        start = end + 1;
      }
      EXPECT_EQ(kept, expected) << "round " << round;
    }
  }
}

// A list the system will not read now, or a service key it will not open
// now, says nothing about the entries: they stay.
TEST_F(LowerFilterTest, ReadAndOpenRefusalsLoseNoEntry) {
  StoreFilters("imapi\0redbook\0\0"s);
  sim::FailCalls("RegQueryValueExA", 1, "LowerFilters");
  EXPECT_FALSE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "imapi\0redbook\0\0"s);

  sim::FailCalls("RegOpenKeyA", 1, "Services\\IMAPI");
  EXPECT_TRUE(AddLowerFilter("VQD2K"));
  EXPECT_EQ(StoredFilters(), "VQD2K\0IMAPI\0REDBOOK\0\0"s);
  // A service that is not there is still a bad driver.
  EXPECT_EQ(FindBadDriver({"GHOST", "IMAPI"}), 1);
}

TEST_F(LowerFilterTest, ListedAsStoredOrWhenUnreadable) {
  EXPECT_FALSE(LowerFilterListed("VQD2K"));  // no value
  StoreFilters("imapi\0xvqd2ky\0\0"s);
  EXPECT_FALSE(LowerFilterListed("VQD2K"));  // whole entries only
  StoreFilters("imapi\0vqd2k\0\0"s);
  EXPECT_TRUE(LowerFilterListed("VQD2K"));
  StoreFilters("imapi\0\0vqd2k\0\0"s);  // after an empty string: still to be taken out
  EXPECT_TRUE(LowerFilterListed("VQD2K"));
  StoreFilters("imapi\0\0"s);
  sim::FailCalls("RegQueryValueExA", 1, "LowerFilters");
  EXPECT_TRUE(LowerFilterListed("VQD2K"));  // cannot tell: taken as listed
  sim::FailCalls("RegOpenKeyExA", 1, "{4D36E965");
  EXPECT_TRUE(LowerFilterListed("VQD2K"));
  EXPECT_FALSE(LowerFilterListed("VQD2K"));
}
