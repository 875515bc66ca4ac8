// libFuzzer entry for the version lines of the carried text files: any bytes
// as a registry import file and as a setup information file, read by
// RegFileVersion and InfFileVersion on the simulated file system. What they
// return is the rest of the first line that starts with the marker (the
// registry file's without its last character), taken from the file as it
// stands; lines end at CR LF, LF or CR.
#include <string>
#include <vector>

#include "fuzz_sim.h"
#include "package/drivedb.h"

namespace {

const char* const kFile = "C:\\TEMP\\CARRIED.TXT";

// The lines of the text, cut at every CR LF, LF and CR.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// What the first line starting with marker holds after it, less dropAtEnd
// characters; empty when no line does.
std::string Expected(const std::vector<std::string>& lines, const std::string& marker, size_t dropAtEnd) {
  for (const std::string& line : lines) {
    if (line.compare(0, marker.size(), marker) != 0) continue;
    size_t rest = line.size() - marker.size();
    return line.substr(marker.size(), rest > dropAtEnd ? rest - dropAtEnd : 0);
  }
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (fuzz::FreshMachine("versionline"), true);
  (void)ready;
  const std::string text = fuzz::Text(data, size);
  sim::WriteFile(kFile, text);
  const std::vector<std::string> lines = Lines(text);

  const std::string reg = RegFileVersion(kFile), inf = InfFileVersion(kFile);
  fuzz::Require(reg == Expected(lines, "@=\"", 1), "RegFileVersion is the rest of the first @=\" line");
  fuzz::Require(inf == Expected(lines, ";Ver=", 0), "InfFileVersion is the rest of the first ;Ver= line");
  fuzz::Require(reg.find_first_of("\r\n") == std::string::npos && inf.find_first_of("\r\n") == std::string::npos,
                "a version never spans lines");
  // A file that cannot be opened has no version.
  fuzz::Require(RegFileVersion("C:\\TEMP\\MISSING.REG").empty() && InfFileVersion("C:\\TEMP\\MISSING.INF").empty(),
                "a missing file has no version");
  return 0;
}
