// libFuzzer entry for the version-information reader: the input serves as a
// whole file (PE or VxD) and as a version block. Every value found lies
// inside the block. Built with -DVQD_FUZZ=ON (clang, tools/fuzz.sh); its
// corpus is also the file set of the comparison with pefile.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/sim/verinfo.h"

namespace {

const char* const kPaths[] = {
    "\\",
    "\\VarFileInfo\\Translation",
    "\\StringFileInfo\\040904b0\\FileVersion",
    "\\StringFileInfo\\040904E4\\FileVersion",
    "\\StringFileInfo\\040904b0\\ProductName",
};

void QueryAll(const uint8_t* data, size_t size) {
  // Exactly sized, so the sanitizer sees any read or write past the block.
  std::vector<uint8_t> block(data, data + size);
  for (const char* path : kPaths) {
    const void* value = nullptr;
    uint32_t length = 0;
    if (!verinfo::QueryValue(block.data(), uint32_t(block.size()), path, &value, &length)) continue;
    const auto* p = static_cast<const uint8_t*>(value);
    if (p < block.data() || length > size_t(block.data() + block.size() - p)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t offset, length;
  if (verinfo::FindPeVersionResource(data, size, &offset, &length) ||
      verinfo::FindVxdVersionResource(data, size, &offset, &length)) {
    if (offset > size || length > size - offset) std::abort();
    std::vector<uint8_t> copy(data + offset, data + offset + length);
    copy.resize(2 * length);  // as GetFileVersionInfoA lays it out
    QueryAll(copy.data(), copy.size());
  }
  QueryAll(data, size);
  return 0;
}
