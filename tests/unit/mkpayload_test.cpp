// mkpayload's checks: dates to FILETIMEs, the times file, the version lines of
// the INF and REG files, driver versions, and a whole payload folder turned
// into what the win32 build embeds.
#include "tools/payloadcheck.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;
using payloadcheck::ParseUtc;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}
std::string ReadText(const fs::path& path) {
  const Bytes b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}
void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

uint64_t Utc(const std::string& date, const std::string& time) {
  uint64_t ft = 1;
  EXPECT_TRUE(ParseUtc(date, time, &ft)) << date << " " << time;
  return ft;
}

// Expected values: (Unix time + 11644473600 s) * 10^7.
TEST(MkpayloadDates, ParseUtcGivesFiletime) {
  EXPECT_EQ(Utc("1601-01-01", "00:00:00"), 0u);
  EXPECT_EQ(Utc("1601-01-01", "00:00:01"), 10000000u);
  EXPECT_EQ(Utc("1970-01-01", "00:00:00"), 116444736000000000u);
  EXPECT_EQ(Utc("1980-01-01", "00:00:00"), 119600064000000000u);
  EXPECT_EQ(Utc("2000-02-29", "23:59:59"), 125963423990000000u);
  EXPECT_EQ(Utc("2038-01-19", "03:14:08"), 137919572480000000u);
  EXPECT_EQ(Utc("9999-12-31", "23:59:59"), 2650467743990000000u);
  EXPECT_EQ(Utc("2004-03-01", "00:00:00") - Utc("2004-02-29", "00:00:00"), 864000000000u);
  EXPECT_EQ(Utc("2001-01-01", "00:00:00") - Utc("2000-12-31", "00:00:00"), 864000000000u);
}

TEST(MkpayloadDates, RejectsMalformedAndImpossibleDates) {
  uint64_t ft;
  for (const char* date : {"2004-3-01", "2004/03/01", "04-03-01", "2004-03-1a", "1600-12-31", "2004-13-01",
                           "2004-00-10", "2004-01-00", "2004-04-31", "2003-02-29", "1900-02-29", "2100-02-29",
                           " 2004-03-01", ""})
    EXPECT_FALSE(ParseUtc(date, "10:00:00", &ft)) << date;
  for (const char* time : {"24:00:00", "23:60:00", "23:59:60", "10:00", "1a:00:00", "10-00-00", "10:00:00Z"})
    EXPECT_FALSE(ParseUtc("2004-03-01", time, &ft)) << time;
}

TEST(MkpayloadDates, DateRecordIsThreeLittleEndianFiletimes) {
  const auto r = payloadcheck::DateRecord({0x0102030405060708u, 0x1112131415161718u, 0xA1A2A3A4A5A6A7A8u});
  const Bytes expected = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x18, 0x17, 0x16, 0x15,
                          0x14, 0x13, 0x12, 0x11, 0xA8, 0xA7, 0xA6, 0xA5, 0xA4, 0xA3, 0xA2, 0xA1};
  EXPECT_EQ(Bytes(r.begin(), r.end()), expected);
}

const char kTimes[] =
    "# comment line\r\n"
    "VQD.SYS      5.1.26.0  created 2004-03-01 10:00:00  accessed 2004-03-02 11:30:00  written 2004-02-27 16:45:10\r\n"
    "\r\n"
    "vqd2k.sys\t-\tcreated 2004-03-15 09:12:00 accessed 2004-03-16 14:05:30 written 2004-03-12 18:20:40 # trailing\n"
    "VQD2K.INF - created 2004-03-15 09:13:00 accessed 2004-03-16 14:06:31 written 2004-03-12 18:22:41\n"
    "VQD2K.CAT - created 2004-03-15 09:14:00 accessed 2004-03-16 14:07:32 written 2004-03-12 18:24:42\n"
    "MERIDAX.VXD 4.10.0.2222 created 1970-01-01 00:00:00 accessed 1601-01-01 00:00:00 written 1980-01-01 00:00:00\n"
    "DRIVEDB.REG - created 2004-04-01 07:00:00 accessed 2004-04-02 07:30:05 written 2004-03-31 23:59:59";

std::string ParseError(const std::string& text) {
  std::map<std::string, payloadcheck::TimesEntry> entries;
  std::string error;
  EXPECT_FALSE(payloadcheck::ParseTimesFile(text, &entries, &error));
  return error;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return s.replace(at, from.size(), to);
}

TEST(MkpayloadTimesFile, ReadsEveryFileWithItsThreeTimes) {
  std::map<std::string, payloadcheck::TimesEntry> entries;
  std::string error;
  ASSERT_TRUE(payloadcheck::ParseTimesFile(kTimes, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 6u);
  const auto& vxd = entries.at("MERIDAX.VXD");
  EXPECT_EQ(vxd.version, "4.10.0.2222");
  EXPECT_EQ(vxd.times.creation, 116444736000000000u);
  EXPECT_EQ(vxd.times.lastAccess, 0u);
  EXPECT_EQ(vxd.times.lastWrite, 119600064000000000u);
  EXPECT_EQ(entries.at("VQD.SYS").version, "5.1.26.0");
  EXPECT_EQ(entries.at("VQD2K.SYS").version, "-");  // found under its lower-case name
  EXPECT_EQ(entries.at("VQD2K.SYS").times.lastWrite, Utc("2004-03-12", "18:20:40"));
  EXPECT_EQ(entries.at("DRIVEDB.REG").times.lastWrite, Utc("2004-03-31", "23:59:59"));
}

TEST(MkpayloadTimesFile, NamesTheFaultyLine) {
  EXPECT_EQ(ParseError(Replace(kTimes, "2004-03-16 14:05:30", "2004-03-16 14:5:30")),
            "line 4: unreadable accessed time \"2004-03-16 14:5:30\" (want YYYY-MM-DD HH:MM:SS, UTC, from 1601)");
  EXPECT_EQ(ParseError(Replace(kTimes, "created 2004-03-01 10:00:00  accessed 2004-03-02 11:30:00",
                               "accessed 2004-03-02 11:30:00  created 2004-03-01 10:00:00")),
            "line 2: expected \"created\", found \"accessed\"");
  EXPECT_EQ(ParseError(Replace(kTimes, "written 2004-03-12 18:24:42", "written 2004-03-12")),
            "line 6: expected FILE VERSION created DATE TIME accessed DATE TIME written DATE TIME");
  EXPECT_EQ(ParseError(Replace(kTimes, "VQD2K.CAT -", "VQD2K.CAB -")), "line 6: unknown file VQD2K.CAB");
  EXPECT_EQ(ParseError(Replace(kTimes, "VQD2K.CAT -", "VQD.SYS -")), "line 6: VQD.SYS is listed twice");
  EXPECT_EQ(ParseError(Replace(kTimes, "VQD2K.CAT -", "#")), "no line for VQD2K.CAT");
}

std::optional<std::string> Reg(const std::string& text) {
  std::string v;
  return payloadcheck::RegDefaultValue(text, &v) ? std::optional(v) : std::nullopt;
}
std::optional<std::string> Inf(const std::string& text) {
  std::string v;
  return payloadcheck::InfVersion(text, &v) ? std::optional(v) : std::nullopt;
}

TEST(MkpayloadLineRules, RegDefaultValue) {
  EXPECT_EQ(Reg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n@=\"1.0.3.40\"\r\n\"A\"=\"b\"\r\n"), "1.0.3.40");
  EXPECT_EQ(Reg("REGEDIT4\n@=\"1.0\"\n"), "1.0");
  EXPECT_EQ(Reg("REGEDIT4\r\n@=\"2.5\""), "2.5");  // last line without an end
  EXPECT_EQ(Reg("@=\"\"\r\n@=\"2\"\r\n"), "");      // first line wins, even empty
  EXPECT_EQ(Reg(" @=\"9\"\r\n\t@=\"8\"\r\n@=\"1\"\r\n"), "1");
  EXPECT_EQ(Reg("@=\"7.0\r\n"), "7.");  // the last character goes, whatever it is
  EXPECT_EQ(Reg("REGEDIT4\r\n\"@\"=\"1\"\r\n@=1\r\n@ = \"1\"\r\n"), std::nullopt);
  EXPECT_EQ(Reg(""), std::nullopt);
}

TEST(MkpayloadLineRules, InfVersion) {
  EXPECT_EQ(Inf("; comment\r\n;Ver=5.2.30.0\r\n[Version]\r\n"), "5.2.30.0");
  EXPECT_EQ(Inf(";Ver=1.2 beta \r\n"), "1.2 beta ");  // the whole rest, blanks included
  EXPECT_EQ(Inf(" ;Ver=9\r\n;Ver=1\r\n;Ver=2\r\n"), "1");
  EXPECT_EQ(Inf(";Ver=\r\n;Ver=2\r\n"), "");
  EXPECT_EQ(Inf(";ver=1\r\n; Ver=1\r\nVer=1\r\nDriverVer=01/01/2004,1.0\r\n"), std::nullopt);
}

std::string Fixture(const std::string& name) { return std::string(VQD_FIXTURE_DIR) + "/" + name; }

TEST(MkpayloadDriverVersion, ReadsFileVersionOfFirstTranslation) {
  std::string version, error;
  ASSERT_TRUE(payloadcheck::DriverFileVersion(ReadBytes(Fixture("ver_5_1_26_0.sys")), false, &version, &error));
  EXPECT_EQ(version, "5.1.26.0");
  ASSERT_TRUE(payloadcheck::DriverFileVersion(ReadBytes(Fixture("ver_text.sys")), false, &version, &error));
  EXPECT_EQ(version, "1.2.3.4 (build 7)");
  ASSERT_TRUE(payloadcheck::DriverFileVersion(ReadBytes(Fixture("meridax.vxd")), true, &version, &error));
  EXPECT_EQ(version, "4.10.0.2222");
}

TEST(MkpayloadDriverVersion, FailsWithoutVersionResource) {
  std::string version, error;
  EXPECT_FALSE(payloadcheck::DriverFileVersion(ReadBytes(Fixture("nover.sys")), false, &version, &error));
  EXPECT_EQ(error, "no readable version resource");
  EXPECT_FALSE(payloadcheck::DriverFileVersion(ReadBytes(Fixture("zerolen.vxd")), true, &version, &error));
  EXPECT_EQ(error, "no readable VxD version resource");
  EXPECT_FALSE(payloadcheck::DriverFileVersion(ReadBytes(Fixture("meridax.vxd")), false, &version, &error));
  EXPECT_FALSE(payloadcheck::DriverFileVersion(Bytes(), false, &version, &error));
}

// A payload folder of the sample drivers and small text files, and an output
// folder, under a fresh temporary directory.
class MkpayloadFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("mkpayload-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    in_ = root_ / "in";
    out_ = root_ / "out";
    fs::remove_all(root_);
    fs::create_directories(in_);
    fs::create_directories(out_);
    fs::copy_file(Fixture("ver_5_1_26_0.sys"), in_ / "VQD.SYS");
    fs::copy_file(Fixture("ver_text.sys"), in_ / "VQD2K.SYS");
    fs::copy_file(Fixture("meridax.vxd"), in_ / "MERIDAX.VXD");
    WriteText(in_ / "VQD2K.INF", "[Version]\r\n;Ver=5.2.30.0\r\n");
    WriteText(in_ / "vqd2k.cat", "catalog");
    WriteText(in_ / "DRIVEDB.REG", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n@=\"1.0.3.40\"\r\n");
    WriteText(in_ / "payload.txt", kTimes);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Make() {
    std::string error;
    return payloadcheck::MakePayload(in_.string(), (in_ / "payload.txt").string(), out_.string(), &error)
               ? "ok"
               : error;
  }

  fs::path root_, in_, out_;
};

TEST_F(MkpayloadFolder, WritesCopiesDatesScriptAndVersions) {
  ASSERT_EQ(Make(), "ok");
  EXPECT_EQ(ReadText(out_ / "payload-versions.txt"),
            "DRIVEDB.REG: 1.0.3.40\nVQD.SYS: 5.1.26.0\nVQD2K.SYS: 1.2.3.4 (build 7)\n"
            "MERIDAX.VXD: 4.10.0.2222\nVQD2K.INF: 5.2.30.0\nVQD2K.CAT: N/A\n");
  EXPECT_EQ(ReadBytes(out_ / "VQD.SYS"), ReadBytes(in_ / "VQD.SYS"));
  EXPECT_EQ(ReadText(out_ / "VQD2K.CAT"), "catalog");
  // MERIDAX.VXD: created 1970-01-01, accessed 1601-01-01, written 1980-01-01.
  const auto ft = payloadcheck::DateRecord({116444736000000000u, 0, 119600064000000000u});
  EXPECT_EQ(ReadBytes(out_ / "MERIDAX.VXD.date"), Bytes(ft.begin(), ft.end()));
  EXPECT_EQ(ReadBytes(out_ / "MERIDAX.VXD.date")[0x7], 0x01);  // 0x019DB1DED53E8000

  std::istringstream script(ReadText(out_ / "payload.rc"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(script, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 12u);
  const std::string dir = fs::absolute(out_).lexically_normal().generic_string();
  EXPECT_EQ(lines[2], "VQD DATA \"" + dir + "/VQD.SYS\"");
  EXPECT_EQ(lines[3], "VQD_DATE DATA \"" + dir + "/VQD.SYS.date\"");
  EXPECT_EQ(lines[8], "VQD2KINF DATA \"" + dir + "/VQD2K.INF\"");
  EXPECT_EQ(lines[11], "VQD2KCAT_DATE DATA \"" + dir + "/VQD2K.CAT.date\"");
}

TEST_F(MkpayloadFolder, RewritesOnlyWhatChanged) {
  ASSERT_EQ(Make(), "ok");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const auto& e : fs::directory_iterator(out_)) fs::last_write_time(e.path(), old);
  WriteText(in_ / "VQD2K.CAT", "other catalog");
  fs::remove(in_ / "vqd2k.cat");
  ASSERT_EQ(Make(), "ok");
  EXPECT_EQ(ReadText(out_ / "VQD2K.CAT"), "other catalog");
  for (const auto& e : fs::directory_iterator(out_))
    EXPECT_EQ(e.last_write_time() == old, e.path().filename() != "VQD2K.CAT") << e.path();
}

TEST_F(MkpayloadFolder, StopsOnInvalidPayloadAndWritesNothing) {
  const std::string in = in_.string();
  struct Case {
    std::function<void()> damage;
    std::string error;
  } cases[] = {
      {[&] { fs::remove(in_ / "vqd2k.cat"); }, in + "/VQD2K.CAT: missing"},
      {[&] { WriteText(in_ / "vqd2k.cat", ""); }, in + "/vqd2k.cat: empty"},
      {[&] { fs::copy_file(Fixture("nover.sys"), in_ / "VQD2K.SYS", fs::copy_options::overwrite_existing); },
       in + "/VQD2K.SYS: no readable version resource"},
      {[&] { fs::copy_file(Fixture("zerolen.vxd"), in_ / "MERIDAX.VXD", fs::copy_options::overwrite_existing); },
       in + "/MERIDAX.VXD: no readable VxD version resource"},
      {[&] { WriteText(in_ / "VQD2K.INF", "[Version]\r\n ;Ver=1\r\n"); },
       in + "/VQD2K.INF: no line beginning with \";Ver=\""},
      {[&] { WriteText(in_ / "DRIVEDB.REG", "REGEDIT4\r\n\"@\"=\"1\"\r\n"); },
       in + "/DRIVEDB.REG: no line beginning with \"@=\\\"\" (the default value)"},
      {[&] { WriteText(in_ / "payload.txt", Replace(kTimes, "DRIVEDB.REG", "#")); },
       "times file " + in + "/payload.txt, no line for DRIVEDB.REG"},
      {[&] { fs::remove(in_ / "payload.txt"); }, "times file " + in + "/payload.txt: cannot be read"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.error);
    SetUp();
    c.damage();
    EXPECT_EQ(Make(), c.error);
    EXPECT_TRUE(fs::is_empty(out_)) << c.error;
  }
  std::string error;
  EXPECT_FALSE(payloadcheck::MakePayload(in, in + "/payload.txt", in, &error));
  EXPECT_EQ(error, "the output folder must not be the payload folder");
}

}  // namespace
