// The journal on disk: every entry is written and flushed before the change
// it covers, so that a run that dies at any point leaves what its undo
// needs. The file lives in a folder of its own in the system directory,
// made private (SYSTEM, the Administrators, the user) and trusted again only
// while it still is.
//
// The file is a list of records, each ending with a line feed:
//   "B <size>\n<keep directory>\n"   the start of an action
//   "E <kind> <existed> <quiet> <type> <time> <time> <time> <size> <size> <size>\n<path><name><data>\n"
//   "T <entries>\n"                  the entries after the first n go again
//   "C\n"                            the action succeeded: only the kept
//                                    files remain to be deleted
// A record cut short (the run died while writing it) is no record: its
// change was never made.
#include <cstdio>
#include <cstdlib>

#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat::journal {

namespace {

std::string Folder;  // of the journal open or loaded
FileHandle File = kInvalidFile;
FileHandle HeldFolder = kInvalidFile;
size_t Written = 0;   // entries on disk
bool DropWritten = false;  // of those, the ones after Written went since
bool Broken = false;  // a write failed: the file holds a record cut short

const char kFolderName[] = "\\~vqd";  // short: the system directory may be long
const char kFileName[] = "\\journal";

std::string Number(uint64_t n) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(n));
  return text;
}

bool Write(const std::string& bytes) {
  uint32_t written = 0;
  if (File == kInvalidFile || Broken) return false;
  Broken = !WriteFile(File, bytes.data(), static_cast<uint32_t>(bytes.size()), &written) ||
           written != bytes.size() || !FlushFileBuffers(File);
  return !Broken;
}

std::string Record(const Entry& e) {
  std::string r = "E " + Number(e.kind) + ' ' + Number(e.existed) + ' ' + Number(e.quiet) + ' ' + Number(e.type);
  for (FileTime t : e.times) r += ' ' + Number(t);
  r += ' ' + Number(e.path.size()) + ' ' + Number(e.name.size()) + ' ' + Number(e.data.size()) + '\n';
  return r + e.path + e.name + e.data + '\n';
}

// Reads the numbers of a record's first line from text at *at; false when
// the line is not whole.
bool Numbers(const std::string& text, size_t* at, uint64_t* values, int count) {
  const size_t end = text.find('\n', *at);
  if (end == std::string::npos) return false;
  const char* p = text.c_str() + *at;
  for (int i = 0; i < count; ++i) {
    char* next = nullptr;
    values[i] = std::strtoull(p, &next, 10);
    if (next == p || next > text.c_str() + end) return false;
    p = next;
  }
  *at = end + 1;
  return true;
}

// count bytes at *at followed by a line feed.
bool Bytes(const std::string& text, size_t* at, uint64_t count) {
  if (*at + count >= text.size() || text[*at + count] != '\n') return false;
  *at += count + 1;
  return true;
}

bool ReadWhole(const std::string& path, std::string* text) {
  FileHandle file = direct::CreateFileA(path, Access::Read, kFileShareRead, Disposition::OpenExisting);
  if (file == kInvalidFile) return false;
  char buffer[4096];
  uint32_t read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &read)) && read) text->append(buffer, read);
  return CloseHandle(file) && ok;
}

}  // namespace

std::string FolderPath() {
  char system[261] = {};
  const uint32_t length = GetSystemDirectoryA(system, sizeof system);
  if (length == 0 || length >= sizeof system) return "";
  return std::string(system) + kFolderName;
}

bool FolderTrusted(const std::string& folder) {
  FindData found;
  FindHandle find = FindFirstFileA(folder, &found);
  if (find == kInvalidFind) return false;
  FindClose(find);
  return found.directory && !found.reparsePoint && !IsReparsePointA(folder) && IsPrivateDirectoryA(folder);
}

bool Pending() {
  const std::string folder = FolderPath();
  FindData found;
  FindHandle find = folder.empty() ? kInvalidFind : FindFirstFileA(folder + kFileName, &found);
  if (find == kInvalidFind) return false;
  FindClose(find);
  return true;
}

bool Start(const std::string& keepDir) {
  Written = 0;
  DropWritten = false;
  Broken = false;
  const std::string folder = Folder = FolderPath();
  if (folder.empty()) return false;
  if (!CreatePrivateDirectoryA(folder) && (GetLastError() != kErrorAlreadyExists || !FolderTrusted(folder)))
    return false;
  HeldFolder = OpenDirectoryA(folder);  // nobody renames it away while it is held (NT family)
  File = direct::CreateFileA(folder + kFileName, Access::Write, kFileShareRead, Disposition::CreateNew);
  if (File == kInvalidFile) {
    // Another journal is there (it is recovered first), or none can be made.
    if (HeldFolder != kInvalidFile) CloseHandle(HeldFolder);
    HeldFolder = kInvalidFile;
    return false;
  }
  if (Write("B " + Number(keepDir.size()) + '\n' + keepDir + '\n')) return true;
  Stop();
  return false;
}

void Dropped(size_t mark) {
  if (mark >= Written) return;
  Written = mark;
  DropWritten = true;
}

bool Persist() {
  std::string records;
  if (DropWritten) records = "T " + Number(Written) + '\n';
  for (size_t i = Written; i < Entries.size(); ++i) records += Record(Entries[i]);
  if (records.empty()) return !Broken;
  if (!Write(records)) return false;
  Written = Entries.size();
  DropWritten = false;
  return true;
}

bool Commit() { return Write("C\n"); }

void Close() {
  if (File != kInvalidFile) CloseHandle(File);
  File = kInvalidFile;
  if (HeldFolder != kInvalidFile) CloseHandle(HeldFolder);
  HeldFolder = kInvalidFile;
  Written = 0;
  Broken = false;
}

bool Discard() { return !Folder.empty() && direct::DeleteFileA(Folder + kFileName); }

void Stop() {
  Close();
  const std::string folder = Folder;
  if (folder.empty()) return;
  // A scanner that held the file a moment ago has usually let go by the
  // second try. A journal that stays is undone again by the next run,
  // which changes nothing more.
  for (int tries = 0; tries < 2; ++tries) {
    const bool gone = direct::DeleteFileA(folder + kFileName) || Gone(GetLastError());
    if (gone && (RemoveDirectoryA(folder) || Gone(GetLastError()))) return;
  }
}

bool Load(bool* committed, std::string* keepDir) {
  std::string text;
  const std::string folder = Folder = FolderPath();
  Truncate(0);
  *committed = false;
  if (folder.empty() || !FolderTrusted(folder) || IsReparsePointA(folder + kFileName) || !ReadWhole(folder + kFileName, &text))
    return false;
  size_t at = 0;
  uint64_t v[10];
  while (at < text.size()) {
    const char tag = text[at];
    size_t next = at + 1;
    if (tag == 'B' && Numbers(text, &next, v, 1) && Bytes(text, &next, v[0])) {
      *keepDir = text.substr(next - v[0] - 1, v[0]);
    } else if (tag == 'E' && Numbers(text, &next, v, 10) && Bytes(text, &next, v[7] + v[8] + v[9])) {
      Entry& e = Add(&Entries, static_cast<Kind>(v[0]), text.substr(next - 1 - v[9] - v[8] - v[7], v[7]), v[1] != 0);
      e.quiet = v[2] != 0;
      e.type = static_cast<uint32_t>(v[3]);
      for (int i = 0; i < 3; ++i) e.times[i] = v[4 + i];
      e.name = text.substr(next - 1 - v[9] - v[8], v[8]);
      e.data = text.substr(next - 1 - v[9], v[9]);
    } else if (tag == 'T' && Numbers(text, &next, v, 1)) {
      Truncate(v[0]);
    } else if (text.compare(at, 2, "C\n") == 0) {
      *committed = true;
      next = at + 2;
    } else {
      break;  // cut short: the change it was to cover was never made
    }
    at = next;
  }
  return true;
}

}  // namespace plat::journal
