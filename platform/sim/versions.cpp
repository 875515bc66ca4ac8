// Whole files read at once in the simulated Windows: mapped views (the file
// stays open while its view is mapped) and the version information of
// executables, read by verinfo.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/sim/machine.h"
#include "platform/sim/verinfo.h"

using namespace sim::internal;

namespace plat {

bool MapWholeFile(const std::string& path, FileView* view) {
  *view = FileView();
  if (Failing("MapWholeFile", path)) return false;
  // The file stays open, shared for reading only, until the view is unmapped.
  FileHandle file = CreateFileA(path, Access::Read, kFileShareRead, Disposition::OpenExisting);
  if (file == kInvalidFile) return false;
  std::ifstream in(ToHost(path), std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) {  // an empty file cannot be mapped
    CloseHandle(file);
    M().lastError = 1006;  // ERROR_FILE_INVALID
    return false;
  }
  intptr_t h = M().nextHandle++;
  auto& stored = M().views[h] = std::move(bytes);
  view->data = stored.data();
  view->size = static_cast<uint32_t>(stored.size());
  view->file = file;
  view->mapping = h;
  return true;
}

void UnmapWholeFile(FileView* view) {
  M().views.erase(view->mapping);
  if (view->file != kInvalidFile) CloseHandle(view->file);
  *view = FileView();
}

// ---------------------------------------------------------------- version information

static bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::string host = ToHost(path);
  if (!IsFile(host)) {
    M().lastError = IsDir(Parent(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    return false;
  }
  std::ifstream in(host, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

uint32_t GetFileVersionInfoSizeA(const std::string& path) {
  if (Failing("GetFileVersionInfoSizeA", path)) return 0;
  std::vector<uint8_t> image;
  if (!ReadWholeFile(path, &image)) return 0;
  size_t offset = 0, length = 0;
  if (!verinfo::FindPeVersionResource(image.data(), image.size(), &offset, &length)) {
    M().lastError = kErrorResourceDataNotFound;
    return 0;
  }
  // Room for the 8-bit copies of the strings, as the system reserves it.
  return static_cast<uint32_t>(length * 2);
}

bool GetFileVersionInfoA(const std::string& path, uint32_t size, void* block) {
  if (Failing("GetFileVersionInfoA", path)) return false;
  std::vector<uint8_t> image;
  if (!ReadWholeFile(path, &image)) return false;
  size_t offset = 0, length = 0;
  if (!verinfo::FindPeVersionResource(image.data(), image.size(), &offset, &length)) {
    M().lastError = kErrorResourceDataNotFound;
    return false;
  }
  std::memset(block, 0, size);
  std::memcpy(block, image.data() + offset, std::min<size_t>(length, size));
  return true;
}

bool VerQueryValueA(void* block, uint32_t blockSize, const std::string& subBlock, const void** value,
                    uint32_t* length) {
  return verinfo::QueryValue(block, blockSize, subBlock, value, length);
}

}  // namespace plat
