#include "vqdlib/debuglog.h"

#include "platform/platform.h"
#include "vqdlib/sysinfo.h"
#include "vqdlib/textfile.h"

bool DebugEnabled = false;
bool DebugLogOpen = false;

namespace {
plat::FileHandle LogFile = plat::kInvalidFile;

// A log that cannot be written switches logging off; the run goes on.
void AbandonLog() {
  if (LogFile != plat::kInvalidFile) plat::CloseHandle(LogFile);
  LogFile = plat::kInvalidFile;
  DebugEnabled = false;
  DebugLogOpen = false;
}
}  // namespace

std::string DebugLogPath(const std::string& windowsDir) {
  std::string drive;
  if (windowsDir.size() >= 2 && windowsDir[1] == ':') {
    drive = windowsDir.substr(0, 2);
  } else if (windowsDir.compare(0, 2, "\\\\") == 0) {
    // UNC: "\\server\share"
    size_t server = windowsDir.find('\\', 2);
    size_t share = server == std::string::npos ? std::string::npos : windowsDir.find('\\', server + 1);
    drive = windowsDir.substr(0, share);
  }
  return drive + "\\VQDINST.LOG";
}

void OpenDebugLog() {
  if (!DebugEnabled || DebugLogOpen) return;
  std::string path = DebugLogPath(WindowsDirectoryText());
  // The root of the system drive may be writable by everybody: a link planted
  // at the name is deleted, not written through.
  LogFile = CreateFileAnew(path, plat::Access::Write);
  if (LogFile == plat::kInvalidFile) {
    AbandonLog();
    return;
  }
  const std::string self = plat::GetModuleFileNameA();
  const std::string version = FileVersionText(self, NamedAsVxd(self), nullptr);
  DebugLogOpen = true;
  DebugLog("VQDINST " + version + " log file created " + plat::LocalDateTimeText());
}

void DebugLog(const std::string& text) {
  if (DebugEnabled && !DebugLogOpen) OpenDebugLog();
  if (!DebugEnabled || !DebugLogOpen) return;
  std::string line = text + "\r\n";
  uint32_t written = 0;
  if (!plat::WriteFile(LogFile, line.data(), static_cast<uint32_t>(line.size()), &written)) AbandonLog();
}

void CloseDebugLog() {
  if (!DebugEnabled || !DebugLogOpen) return;
  plat::CloseHandle(LogFile);
  LogFile = plat::kInvalidFile;
  DebugEnabled = false;
  DebugLogOpen = false;
}
