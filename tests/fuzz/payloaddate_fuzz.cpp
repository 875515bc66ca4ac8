// libFuzzer entry for the payload date records: the first byte gives the
// length of a "_DATE" resource (0 to 47 bytes) made of the bytes after it, and
// the rest is the payload file itself. ResourceToFile writes the file as
// carried and gives it the record's three file times (creation, last access,
// last write, each a little-endian 64-bit FILETIME); a record shorter than 24
// bytes counts as padded with zeros, and a zero time leaves that time as the
// write made it, as SetFileTime does.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_sim.h"
#include "package/payload.h"

namespace {

const char* const kFile = "C:\\TEMP\\VQD.SYS";

uint64_t Le64(const std::vector<uint8_t>& record, size_t at) {
  uint64_t v = 0;
  for (size_t i = 0; i < 8; ++i) v |= uint64_t(at + i < record.size() ? record[at + i] : 0) << (8 * i);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t recordSize = std::min<size_t>(data[0] % 48, size - 1);
  const std::vector<uint8_t> record(data + 1, data + 1 + recordSize);
  const std::vector<uint8_t> contents(data + 1 + recordSize, data + size);

  fuzz::FreshMachine("payloaddate");
  sim::AddResource("VQD", "DATA", contents);
  sim::AddResource("VQD_DATE", "DATA", record);
  ResourceToFile("VQD", kFile);

  fuzz::Require(sim::FileExists(kFile), "the payload file is written");
  fuzz::Require(sim::ReadFile(kFile) == std::string(contents.begin(), contents.end()), "the file holds the payload");
  const sim::Times times = sim::FileTimes(kFile);
  const plat::FileTime written = sim::Now();
  const plat::FileTime want[3] = {Le64(record, 0), Le64(record, 8), Le64(record, 16)};
  const plat::FileTime got[3] = {times.creation, times.lastAccess, times.lastWrite};
  for (int i = 0; i < 3; ++i) {
    if (want[i] != 0) {
      fuzz::Require(got[i] == want[i], "a time of the record is applied");
    } else {
      fuzz::Require(got[i] != 0 && got[i] <= written, "a zero time keeps the time of the write");
    }
  }
  return 0;
}
