#include "package/heldfiles.h"

#include <cstring>
#include <vector>

#include "package/payload.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

namespace {

// The extracted files held open, by path.
struct HeldFile {
  std::string path;
  plat::FileHandle handle;
};
std::vector<HeldFile> HeldFiles;

}  // namespace

void ReleaseFile(const std::string& path) {
  for (auto held = HeldFiles.begin(); held != HeldFiles.end();) {
    if (UpperCase(held->path) != UpperCase(path)) {
      ++held;
      continue;
    }
    plat::CloseHandle(held->handle);
    held = HeldFiles.erase(held);
  }
}

void ReleaseAllFiles() {
  for (const HeldFile& held : HeldFiles) plat::CloseHandle(held.handle);
  HeldFiles.clear();
}

namespace {

// Whether the file reads as these bytes, to its end.
bool ReadsAs(plat::FileHandle file, const uint8_t* bytes, uint32_t size) {
  uint8_t buffer[4096];
  uint32_t at = 0, read = 0;
  do {
    if (!plat::ReadFile(file, buffer, sizeof buffer, &read) || read > size - at ||
        (read && std::memcmp(buffer, bytes + at, read) != 0))
      return false;
    at += read;
  } while (read);
  return at == size;
}

}  // namespace

// Swaps the writing handle for one that reads and shares reading only. That
// one cannot be opened while the writer is (it would have to share writing),
// so a reader sharing writing bridges the moment between: nobody can delete
// or rename the file in between, and what was written meanwhile shows when
// the bytes are read back through the held handle.
bool HoldWrittenFile(const std::string& path, plat::FileHandle writer, const uint8_t* bytes, uint32_t size) {
  const uint32_t both = plat::kFileShareRead | plat::kFileShareWrite;
  plat::FileHandle bridge = plat::CreateFileA(path, plat::Access::Read, both, plat::Disposition::OpenExisting);
  bool ok = plat::CloseHandle(writer);
  plat::FileHandle held =
      plat::CreateFileA(path, plat::Access::Read, plat::kFileShareRead, plat::Disposition::OpenExisting);
  if (bridge != plat::kInvalidFile) plat::CloseHandle(bridge);
  if (held != plat::kInvalidFile) HeldFiles.push_back({path, held});
  ok = ok && held != plat::kInvalidFile && ReadsAs(held, bytes, size);
  if (!ok) DebugLog("RTF: Couldn't hold " + path);
  return ok;
}

bool DeleteExtractedFile(const std::string& path) {
  ReleaseFile(path);
  return plat::DeleteFileA(path);
}
