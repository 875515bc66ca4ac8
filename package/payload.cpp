#include "package/payload.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "package/heldfiles.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"
#include "vqdlib/system.h"
#include "vqdlib/textfile.h"

std::string TempDir;

const PayloadFile DriveDbFile = {"DRIVEDB", "DRIVEDB.REG"};

const std::vector<PayloadFile> PayloadTable = {DriveDbFile,     FamilyNT.driver, Family2K.driver,
                                               Family9x.driver, Family2K.inf,    Family2K.catalog};

static uint64_t Le64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

namespace {

// The temporary directory this run made last and has not removed yet (each
// maker removes its own before another is made), and its open handle.
std::string MadeTempDir;
plat::FileHandle HeldTempDir = plat::kInvalidFile;

void ReleaseTempDir() {
  if (HeldTempDir != plat::kInvalidFile) plat::CloseHandle(HeldTempDir);
  HeldTempDir = plat::kInvalidFile;
}

}  // namespace

bool ResourceToFile(const std::string& name, const std::string& path) {
  DebugLog("RTF: " + name + " " + path);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  const uint8_t* bytes = nullptr;
  uint32_t byteCount = 0;
  const bool hold = !MadeTempDir.empty() && path.compare(0, MadeTempDir.size() + 1, MadeTempDir + "\\") == 0;
  if (hold) ReleaseFile(path);
  // Only a file this call made is written to, stamped and reported written:
  // whatever was at the name before (a planted file or link) is deleted or,
  // where it cannot be, left alone.
  plat::FileHandle file = plat::kInvalidFile;
  bool written = false;
  plat::ResourceHandle resource = plat::FindResourceA(name, "DATA");
  if (resource == 0) {
    DebugLog("RTF: Couldn't find resource!");
  } else {
    DebugLog("RTF: Found res");
    if (plat::LoadResourceData(resource, &data, &size)) {
      file = CreateFileAnew(path, plat::Access::ReadWrite, plat::kFileShareRead);
      if (file != plat::kInvalidFile) {
        uint32_t count = 0;
        bytes = data;
        byteCount = size;
        written = plat::WriteFile(file, data, size, &count);
        DebugLog(written ? "RTF: Wrote " + name + " to " + path : "RTF: Failed write of " + name + " to " + path);
      }
    }
  }

  // The file times, through the handle that wrote the file: opening the name
  // again could meet another file put there in the meantime.
  std::string dateName = name + "_DATE";
  DebugLog("RTF: Extracting and setting date resource: " + dateName);
  plat::ResourceHandle date = plat::FindResourceA(dateName, "DATA");
  if (date == 0) {
    DebugLog("RTF: Couldn't find date resource!");
  } else {
    DebugLog("RTF: Found date res");
    if (plat::LoadResourceData(date, &data, &size) && file != plat::kInvalidFile) {
      // A record shorter than 24 bytes is padded with zeros rather than read
      // past its end. An empty record may come without any data pointer at all.
      uint8_t record[24] = {};
      if (data && size) std::memcpy(record, data, size < sizeof record ? size : sizeof record);
      plat::FileTime creation = Le64(record), lastAccess = Le64(record + 8), lastWrite = Le64(record + 16);
      plat::SetFileTime(file, &creation, &lastAccess, &lastWrite);
      DebugLog("RTF: Set file date");
    }
  }
  if (file != plat::kInvalidFile && hold && written) return HoldWrittenFile(path, file, bytes, byteCount);
  if (file != plat::kInvalidFile && !plat::CloseHandle(file)) written = false;
  return written;
}

namespace {

// The names tried under one base: 931fas~9, then 931fas~9.1 to 931fas~9.99.
// Those of runs that died are reclaimed; only names taken by somebody
// else's folders use up the later ones.
const int kTempDirNames = 100;
const char kTempDirName[] = "931fas~9";

bool CreateTempDir(const std::string& dir, uint32_t* error) {
  DebugLog("MTD: Temp dir is: " + dir);
  bool created = plat::CreatePrivateDirectoryA(dir);
  *error = created ? 0 : plat::GetLastError();
  DebugLog(created ? "MTD: Created temp" : "MTD: Failed to create temp");
  return created;
}

// The first of the names under base that this run can create; empty when
// none. Only a taken name is worth another: any other refusal (no such
// folder, no right to write in it, a path too long) holds for every name.
std::string CreateTempDirUnder(const std::string& base) {
  for (int i = 0; i < kTempDirNames; ++i) {
    std::string dir = base + "\\" + kTempDirName;
    if (i) dir += "." + DecimalText(i);
    uint32_t error = 0;
    if (CreateTempDir(dir, &error)) {
      if (IsNT) {
        HeldTempDir = plat::OpenDirectoryA(dir);
        // One that cannot be held could be swapped: nothing goes into it.
        if (HeldTempDir == plat::kInvalidFile) {
          DebugLog("MTD: Couldn't hold temp - removed");
          plat::RemoveDirectoryA(dir);
          return "";
        }
      }
      MadeTempDir = dir;
      return dir;
    }
    if (error != plat::kErrorAlreadyExists) break;
    DebugLog("MTD: Temp dir exists - trying another name");
  }
  return "";
}

// The directory itself, not a link or junction to one.
bool IsPlainDirectory(const std::string& dir) {
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(dir, &found);
  if (find == plat::kInvalidFind) return false;
  plat::FindClose(find);
  return found.directory && !found.reparsePoint && !plat::IsReparsePointA(dir);
}

}  // namespace

// Deletes the files directly in dir but "reboot.txt"; `log` writes the lines
// of the first pass. A folder is neither entered nor removed, and a link is
// left alone (Wine's DeleteFileA deletes what a symbolic link points to).
static void DeleteFilesIn(const std::string& dir, bool log) {
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(dir + "\\*.*", &found);
  if (find == plat::kInvalidFind) return;
  if (log) DebugLog("DTD: Found files - deleting");
  do {
    if (found.directory || found.name == "reboot.txt") continue;
    const std::string entry = dir + "\\" + found.name;
    if (found.reparsePoint || plat::IsReparsePointA(entry)) continue;
    if (log) DebugLog("DTD: Deleting " + entry);
    plat::DeleteFileA(entry);
  } while (plat::FindNextFileA(find, &found));
  plat::FindClose(find);
}

// The TEMP of the run (as MakeTempDir reads it) and the Windows directory.
static void TempDirBases(std::string* temp, std::string* windowsDir) {
  *windowsDir = GetWindowsDir();
  char buffer[261] = {};
  uint32_t length = plat::GetEnvironmentVariableA("TEMP", buffer, sizeof buffer);
  temp->clear();
  if (length != 0 && length < sizeof buffer) *temp = buffer[0] ? buffer : ".";
}

// A temporary directory of a run that died: only a plain directory that is
// still as private as this program makes them is emptied and removed.
static void Reclaim(const std::string& dir) {
  if (!IsPlainDirectory(dir) || !plat::IsPrivateDirectoryA(dir)) return;
  DeleteFilesIn(dir, false);
  if (plat::RemoveDirectoryA(dir)) DebugLog("MTD: Reclaimed " + dir);
}

static void ReclaimUnder(const std::string& base) {
  std::vector<std::string> names;
  plat::FindData found;
  plat::FindHandle find = base.empty() ? plat::kInvalidFind : plat::FindFirstFileA(base + "\\*", &found);
  if (find == plat::kInvalidFind) return;
  const std::string prefix = UpperCase(kTempDirName);
  do {
    const std::string name = UpperCase(found.name);
    if (found.directory && name.compare(0, prefix.size(), prefix) == 0 &&
        (name.size() == prefix.size() || name[prefix.size()] == '.'))
      names.push_back(found.name);
  } while (plat::FindNextFileA(find, &found));
  plat::FindClose(find);
  for (const std::string& name : names) Reclaim(base + "\\" + name);
}

void ReclaimTempDirs(const std::string& deadRunDir) {
  std::string temp, windowsDir;
  TempDirBases(&temp, &windowsDir);
  ReclaimUnder(temp);
  ReclaimUnder(windowsDir);
  if (!deadRunDir.empty()) Reclaim(deadRunDir);
}

std::string MakeTempDir() {
  ReleaseAllFiles();
  ReleaseTempDir();
  const std::string windowsDir = GetWindowsDir();
  std::string base = windowsDir;
  DebugLog("MTD");
  char buffer[261];
  std::memset(buffer, 0, sizeof buffer);
  uint32_t length = plat::GetEnvironmentVariableA("TEMP", buffer, sizeof buffer);
  // A value too long for the buffer is not read: the Windows directory stays.
  bool fromTemp = length != 0 && length < sizeof buffer;
  if (fromTemp) {
    DebugLog("MTD: Got TEMP");
    base = buffer[0] ? buffer : ".";
  }
  // Only a directory made by this run is used: one that was there before
  // may belong to anybody. A TEMP the directory cannot be made in (a path too
  // long, a folder that is gone, every name taken) would leave nothing to
  // extract into, and an install would quietly copy nothing: the Windows
  // directory, where other users cannot create anything, serves instead.
  std::string dir = CreateTempDirUnder(base);
  if (dir.empty() && fromTemp && !windowsDir.empty()) dir = CreateTempDirUnder(windowsDir);
  if (dir.empty()) DebugLog("MTD: No temp dir - nothing is extracted");
  return dir;
}

void DeleteTempDir(const std::string& dir) {
  DebugLog("DTD");
  // A directory this run did not make, or one that has become a link since,
  // is neither entered nor removed. A look refused a moment ago (a scanner
  // holding the folder) is tried once more, as the deletion is below.
  if (dir.empty() || dir != MadeTempDir || !(IsPlainDirectory(dir) || IsPlainDirectory(dir))) {
    DebugLog("DTD: Not a temp dir of this run - left alone");
    return;
  }
  ReleaseAllFiles();
  DeleteFilesIn(dir, true);
  // Held until just before its removal.
  ReleaseTempDir();
  bool removed = plat::RemoveDirectoryA(dir);
  // A file a virus scanner or indexer held a moment ago can usually go now;
  // one quiet second pass keeps such a moment from leaving the directory.
  if (!removed) {
    DeleteFilesIn(dir, false);
    removed = plat::RemoveDirectoryA(dir);
  }
  if (removed) MadeTempDir.clear();
  DebugLog(removed ? "DTD: Removed temp dir" : "DTD: Failed to remove temp dir");
}
