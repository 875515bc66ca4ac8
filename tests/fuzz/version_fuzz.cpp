// libFuzzer entry for version texts: parsing never reads outside the text and
// the comparison is a strict order on what parses. Built with -DVQD_FUZZ=ON.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t split = text.find('|');
  std::string a = text.substr(0, split), b = split == std::string::npos ? "1.0.0.0" : text.substr(split + 1);
  int32_t n[4];
  bool parsedA = VersionStringToNumbers(a, &n[0], &n[1], &n[2], &n[3]);
  bool parsedB = VersionStringToNumbers(b, &n[0], &n[1], &n[2], &n[3]);
  bool ab = VerANewer(a, b), ba = VerANewer(b, a);
  // Two versions that both parse are never each newer than the other, and
  // nothing that parses is newer than itself.
  if (parsedA && parsedB && ab && ba) abort();
  if (parsedA && VerANewer(a, a)) abort();
  return 0;
}
