#include "package/payload.h"

#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

std::string TempDir;

const PayloadFile PayloadTable[6] = {
    {"DRIVEDB", "DRIVEDB.REG"}, {"VQD", "VQD.SYS"},        {"VQD2K", "VQD2K.SYS"},
    {"MERIDAX", "MERIDAX.VXD"}, {"VQD2KINF", "VQD2K.INF"}, {"VQD2KCAT", "VQD2K.CAT"},
};

static uint64_t Le64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void ResourceToFile(const std::string& name, const std::string& path) {
  DebugLog("RTF: " + name + " " + path);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  plat::ResourceHandle resource = plat::FindResourceA(name, "DATA");
  if (resource == 0) {
    DebugLog("RTF: Couldn't find resource!");
  } else {
    DebugLog("RTF: Found res");
    if (plat::LoadResourceData(resource, &data, &size)) {
      plat::FileHandle file = plat::CreateFileA(path, plat::Access::ReadWrite, plat::kFileShareRead | plat::kFileShareWrite,
                                                   plat::Disposition::CreateAlways);
      if (file != plat::kInvalidFile) {
        uint32_t written = 0;
        bool ok = plat::WriteFile(file, data, size, &written);
        ok = plat::CloseHandle(file) && ok;
        DebugLog(ok ? "RTF: Wrote " + name + " to " + path : "RTF: Failed write of " + name + " to " + path);
      }
    }
  }

  // The file times, applied whatever happened above.
  std::string dateName = name + "_DATE";
  DebugLog("RTF: Extracting and setting date resource: " + dateName);
  plat::ResourceHandle date = plat::FindResourceA(dateName, "DATA");
  if (date == 0) {
    DebugLog("RTF: Couldn't find date resource!");
    return;
  }
  DebugLog("RTF: Found date res");
  if (!plat::LoadResourceData(date, &data, &size)) return;
  // A record shorter than 24 bytes is padded with zeros rather than read past
  // its end.
  // An empty record may come without any data pointer at all.
  uint8_t record[24] = {};
  if (data && size) std::memcpy(record, data, size < sizeof record ? size : sizeof record);
  // Shared for writing only, so a file that another program holds open for
  // reading cannot be opened here and keeps the times it has.
  plat::FileHandle file =
      plat::CreateFileA(path, plat::Access::Write, plat::kFileShareWrite, plat::Disposition::OpenExisting);
  if (file == plat::kInvalidFile) return;
  plat::FileTime creation = Le64(record), lastAccess = Le64(record + 8), lastWrite = Le64(record + 16);
  plat::SetFileTime(file, &creation, &lastAccess, &lastWrite);
  plat::CloseHandle(file);
  DebugLog("RTF: Set file date");
}

static bool CreateTempDir(const std::string& dir) {
  DebugLog("MTD: Temp dir is: " + dir);
  bool created = plat::CreateDirectoryA(dir);
  DebugLog(created ? "MTD: Created temp" : "MTD: Failed to create temp");
  return created;
}

std::string MakeTempDir() {
  const std::string windowsDir = GetWindowsDir();
  std::string dir = windowsDir;
  DebugLog("MTD");
  char buffer[261];
  std::memset(buffer, 0, sizeof buffer);
  uint32_t length = plat::GetEnvironmentVariableA("TEMP", buffer, sizeof buffer);
  // A value too long for the buffer is not read: the Windows directory stays.
  bool fromTemp = length != 0 && length < sizeof buffer;
  if (fromTemp) {
    DebugLog("MTD: Got TEMP");
    dir = buffer[0] ? buffer : ".";
  }
  dir += "\\931fas~9";
  // A TEMP the directory cannot be made in (a path too long for the file
  // functions, a folder that is gone or may not be written) would leave
  // nothing to extract into, and an install would quietly copy nothing: the
  // Windows directory serves instead. An existing directory is used as it is.
  if (!CreateTempDir(dir) && fromTemp && !windowsDir.empty() && !FileFound(dir)) {
    dir = windowsDir + "\\931fas~9";
    CreateTempDir(dir);
  }
  return dir;
}

// Deletes the plain files directly in dir but "reboot.txt"; `log` writes the
// lines of the first pass.
static void DeleteFilesIn(const std::string& dir, bool log) {
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(dir + "\\*.*", &found);
  if (find == plat::kInvalidFind) return;
  if (log) DebugLog("DTD: Found files - deleting");
  do {
    if (found.directory || found.name == "reboot.txt") continue;
    if (log) DebugLog("DTD: Deleting " + dir + "\\" + found.name);
    plat::DeleteFileA(dir + "\\" + found.name);
  } while (plat::FindNextFileA(find, &found));
  plat::FindClose(find);
}

void DeleteTempDir(const std::string& dir) {
  DebugLog("DTD");
  DeleteFilesIn(dir, true);
  bool removed = plat::RemoveDirectoryA(dir);
  // A file a virus scanner or indexer held a moment ago can usually go now;
  // one quiet second pass keeps such a moment from leaving the directory.
  if (!removed) {
    DeleteFilesIn(dir, false);
    removed = plat::RemoveDirectoryA(dir);
  }
  DebugLog(removed ? "DTD: Removed temp dir" : "DTD: Failed to remove temp dir");
}
