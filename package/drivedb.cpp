#include "package/drivedb.h"

#include <vector>

#include "package/payload.h"
#include "package/version.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"
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

const char* const DriveDBKey = "SOFTWARE\\Velcordia\\PALV\\DriveDB";

// The longest command line ExecAndWait takes, in characters.
const size_t kMaxCommandLine = 512;

std::string DriveDBRegistryVersion() {
  DebugLog("RGV");
  std::string result;
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(plat::kHKeyLocalMachine, DriveDBKey, &key) != 0) return result;
  DebugLog("RGV: Opened DriveDB");
  uint8_t buffer[129] = {};
  uint32_t type = 0, size = sizeof buffer;
  if (plat::RegQueryValueExA(key, "", &type, buffer, &size) == 0) {
    buffer[128] = 0;
    result = reinterpret_cast<const char*>(buffer);
    DebugLog("RGV: Got default value " + result);
  }
  plat::RegCloseKey(key);
  return result;
}

uint32_t ExecAndWait(const std::string& program, const std::string& commandLine, const std::string& directory,
                     uint16_t showWindow) {
  if (commandLine.size() > kMaxCommandLine) return 0xFFFFFFFFu;
  plat::ProcessHandle process = plat::CreateProcessA(program, commandLine, directory, showWindow);
  if (process == 0) return 0xFFFFFFFFu;
  DebugLog("EAW: Created process " + commandLine + " - waiting");
  uint32_t code = plat::WaitForProcess(process);
  DebugLog("EAW: Process completed");
  return code;
}

bool InstallDriveDB(bool install) {
  DebugLog("IDB");
  bool result = false;
  if (install && TempDir.empty()) {
    // Nothing can be extracted: the installed database stays.
    DebugLog("IDB: Failed REGEDIT import");
  } else if (install) {
    DebugLog("IDB: Install");
    const std::string file = TempDir + "\\" + DriveDbFile.fileName;
    // A database this run could not write is not read, and nothing is
    // imported: the installed one stays.
    const bool written = ResourceToFile(DriveDbFile.resource, file);
    std::string carried, installed;
    if (written) {
      carried = RegFileVersion(file);
      installed = DriveDBRegistryVersion();
    }
    if (!written) {
      DebugLog("IDB: Failed REGEDIT import");
    } else if (VerANewer(carried, installed)) {
      DebugLog("IDB: Install version is newer than existing");
      // Quoted: a TEMP with blanks ("Documents and Settings") would split the
      // path into several arguments of the registry editor.
      const std::string windowsDir = GetWindowsDir();
      const std::string editor = windowsDir + "\\REGEDIT.EXE";
      const std::string commandLine = editor + " /s \"" + file + "\"";
      // A command line that cannot be run must not cost the installed
      // database: it is refused before the key is deleted. So is an editor
      // without a full path, which the system would look for in the current
      // directory and along the search path.
      if (commandLine.size() <= kMaxCommandLine && !windowsDir.empty()) {
        DeleteKey(DriveDBKey);
        const uint16_t kHide = 0;  // SW_HIDE
        // The editor by its full path, started in the Windows directory: not
        // one found first in the current directory, and no file of a folder
        // that others can write to is the first it looks at.
        // The editor changes the key behind the journal's back: its state
        // is taken first, and without it nothing is imported.
        result = plat::JournalKey(DriveDBKey) && ExecAndWait(editor, commandLine, windowsDir, kHide) == 0;
      }
      DebugLog(result ? "IDB: EXECed REGEDIT import" : "IDB: Failed REGEDIT import");
    } else {
      DebugLog("IDB: Existing version is newer");
    }
    DebugLog(DeleteExtractedFile(file) ? "IDB: Deleted DriveDB.REG" : "IDB: Failed to delete DRIVEDB.REG");
  } else {
    result = DeleteKey(DriveDBKey);
    DebugLog(result ? "IDB: Remove: Success" : "IDB: Remove: Failed");
  }
  return result;
}
