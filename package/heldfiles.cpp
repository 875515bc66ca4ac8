#include "package/heldfiles.h"

#include <cstring>

#include "package/payload.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

namespace {

// The extracted files held open, by path: a run extracts at most the six
// carried files at a time.
const int kHeldFiles = 8;
std::string HeldPaths[kHeldFiles];
plat::FileHandle HeldHandles[kHeldFiles] = {plat::kInvalidFile, plat::kInvalidFile, plat::kInvalidFile,
                                            plat::kInvalidFile, plat::kInvalidFile, plat::kInvalidFile,
                                            plat::kInvalidFile, plat::kInvalidFile};

void Release(int i) {
  if (HeldHandles[i] != plat::kInvalidFile) plat::CloseHandle(HeldHandles[i]);
  HeldHandles[i] = plat::kInvalidFile;
  HeldPaths[i].clear();
}

}  // namespace

void ReleaseFile(const std::string& path) {
  for (int i = 0; i < kHeldFiles; ++i)
    if (HeldHandles[i] != plat::kInvalidFile && UpperCase(HeldPaths[i]) == UpperCase(path)) Release(i);
}

void ReleaseAllFiles() {
  for (int i = 0; i < kHeldFiles; ++i) Release(i);
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
  int slot = 0;
  while (slot < kHeldFiles && HeldHandles[slot] != plat::kInvalidFile) ++slot;
  // No free slot (never with the six carried files): not held, not used.
  if (held != plat::kInvalidFile && slot == kHeldFiles) plat::CloseHandle(held);
  if (slot == kHeldFiles) held = plat::kInvalidFile;
  if (held != plat::kInvalidFile) {
    HeldPaths[slot] = path;
    HeldHandles[slot] = held;
  }
  ok = ok && held != plat::kInvalidFile && ReadsAs(held, bytes, size);
  if (!ok) DebugLog("RTF: Couldn't hold " + path);
  return ok;
}

bool DeleteExtractedFile(const std::string& path) {
  ReleaseFile(path);
  return plat::DeleteFileA(path);
}
