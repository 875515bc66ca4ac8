#include "package/drivedb.h"

#include <vector>

#include "vqdlib/debuglog.h"
#include "vqdlib/textfile.h"

namespace {

struct VersionLine {
  const char* initials;   // "RFV"
  const char* opened;     // "Opened reg file "
  const char* marker;     // "@=\""
  size_t dropAtEnd;       // characters taken off the end of the line
  const char* found;      // "Found default value"
  const char* valueIs;    // "Default value is "
};

// The first line that starts with the marker, without the marker and the
// characters dropped at its end; empty when there is none.
std::string FindVersionLine(const std::string& fileName, const VersionLine& kind) {
  const std::string prefix = std::string(kind.initials) + ": ";
  DebugLog(kind.initials);
  std::vector<std::string> lines;
  if (!ReadTextLines(fileName, &lines)) return "";
  DebugLog(prefix + kind.opened + fileName);
  const std::string marker = kind.marker;
  for (const std::string& line : lines) {
    if (line.compare(0, marker.size(), marker) != 0) continue;
    DebugLog(prefix + kind.found);
    size_t length = line.size() - marker.size();
    std::string result = line.substr(marker.size(), length > kind.dropAtEnd ? length - kind.dropAtEnd : 0);
    DebugLog(prefix + kind.valueIs + result);
    return result;
  }
  return "";
}

}  // namespace

std::string RegFileVersion(const std::string& fileName) {
  return FindVersionLine(fileName, {"RFV", "Opened reg file ", "@=\"", 1, "Found default value", "Default value is "});
}

std::string InfFileVersion(const std::string& fileName) {
  return FindVersionLine(fileName, {"IFV", "Opened INF file ", ";Ver=", 0, "Found version value", "Version value is "});
}
