// The checks and conversions behind mkpayload, which turns a payload folder
// (the six files vqdinst.exe carries, plus a times file) into what the win32
// build embeds: a copy of each file, a 24-byte record of its three file times,
// the resource script naming them, and the list of the versions read.
//
// Every failure comes back as a one-line message naming the file and what is
// wrong with it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace payloadcheck {

enum class Kind { kPeDriver, kVxd, kInf, kCatalog, kReg };

struct PayloadFile {
  const char* file;      // name in the payload folder and in the times file
  const char* resource;  // resource name; the times are "<resource>_DATE"
  Kind kind;
};

// The six files, in the order of the versions list.
extern const std::array<PayloadFile, 6> kPayloadFiles;

// FILETIME: 100 ns units since 1601-01-01 00:00:00 UTC.
struct FileTimes {
  uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
};

// "YYYY-MM-DD" and "HH:MM:SS", UTC, years 1601 to 9999. False for anything
// else, including dates that do not exist (2003-02-29, 24:00:00).
bool ParseUtc(const std::string& date, const std::string& time, uint64_t* filetime);

// The date resource: creation, last access, last write, each 8 bytes
// little-endian.
std::array<uint8_t, 24> DateRecord(const FileTimes& times);

struct TimesEntry {
  std::string version;  // the VERSION column ("-" when not given)
  FileTimes times;
};

// Parses a times file: per line
//   FILE VERSION created DATE TIME accessed DATE TIME written DATE TIME
// '#' starts a comment; blank lines are skipped. Every payload file must have
// exactly one line and no other file may appear. File names compare without
// regard to case; the map is keyed by the names of kPayloadFiles.
bool ParseTimesFile(const std::string& text, std::map<std::string, TimesEntry>* entries,
                    std::string* error);

// The value of the first line beginning with "@=\"", without that and without
// the line's last character (the closing quote).
bool RegDefaultValue(const std::string& text, std::string* value);

// The rest of the first line beginning with ";Ver=".
bool InfVersion(const std::string& text, std::string* value);

// The FileVersion string of a PE driver or a VxD, in the first language of
// its translation table. *error says what is missing.
bool DriverFileVersion(const std::vector<uint8_t>& image, bool vxd, std::string* version,
                       std::string* error);

// Checks the payload folder against the times file and writes into outDir:
// FILE (a copy), FILE.date, payload.rc and payload-versions.txt. A file is
// rewritten only when its content changes, so that an unchanged payload leaves
// the build alone. outDir must exist and differ from payloadDir. A file not
// found under its exact name is looked up without regard to case.
bool MakePayload(const std::string& payloadDir, const std::string& timesFile, const std::string& outDir,
                 std::string* error);

}  // namespace payloadcheck
