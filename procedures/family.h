// What the install, uninstall and upgrade procedures need to know of each
// Windows family, side by side: the probes, the carried files, the installed
// driver file, how the driver is registered, and the texts of the log lines
// that differ. One procedure per kind reads this table.
#pragma once

#include <string>

enum class Family { NT, W2K, W9x };

// The family the program runs on, by the order every family-specific step
// uses: NT 4 first, then Windows 2000 and later, then Windows 9x.
Family RunningFamily();

struct CarriedFile {
  const char* resource;  // payload resource
  const char* fileName;  // "\VQD.SYS", appended to TempDir
};

struct DriverFamily {
  const char* tag;  // "NT", "2K", "9x": procedure names end in it
  bool (*installedProbe)();
  bool (*legacyProbe)();
  bool (*legacyRemoval)();
  CarriedFile carried[3];  // in extraction order; the first is the driver
  int carriedCount;
  const char* installedFile;  // "\DRIVERS\VQD.SYS", appended to SystemDir
  const char* disabledFile;   // "\DRIVERS\VQD.DIS": the file "/DISABLE" leaves
  const char* driverName;     // "VQD.SYS", in the copy and delete lines
  const char* disabledName;   // "VQD.DIS", in the delete lines of a removal
  bool registersService;      // NT 4 and 2K: a service key
  bool registersFilter;       // 2K: a CD-ROM class lower filter and the INF

  // The rest of the lines shared by install and upgrade, after "<name>: ".
  const char* withoutCounter;
  const char* legacyFound;
  const char* extracting;
  const char* foundPrevious;
  const char* notFound;
  // Uninstall.
  const char* forcedRemoval;
  bool logsDecrement;  // Windows 9x writes no decrementing line
};

const DriverFamily& FamilyOf(Family family);

// An installed driver without an install count gets the count 1.
void AdoptUncountedDriver(const DriverFamily& family, const std::string& prefix);
// Writes every carried file of the family into TempDir with its file times;
// true when this run wrote every one of them. Otherwise none is read, copied
// or registered: the procedure goes on as after a failed copy.
bool ExtractCarriedFiles(const DriverFamily& family, const std::string& prefix);
// Whether the extracted driver is to go in: always when no driver is
// installed, otherwise when it is newer than the installed one or `force` is
// set (then updateLine is logged).
bool CarriedIsToGoIn(const DriverFamily& family, const std::string& prefix, bool force,
                     const std::string& updateLine);
// Deletes them again, in the same order; a file already gone is no error.
void DeleteCarriedFiles(const DriverFamily& family);
// Copies the extracted driver over the installed one; logs "<prefix>File
// copy of X succeeded/failed". Nothing is copied unless `extracted`. A copied
// driver leaves no disabled copy of itself beside it that is not newer.
bool CopyDriver(const DriverFamily& family, const std::string& prefix, bool extracted);
// Registers the copied driver: the service key, and on Windows 2000 the
// lower filter and the setup information file. prefix is "Inst2K: " or
// "Upgrade2K: " for the lines of the INF copy.
void RegisterDriver(const DriverFamily& family, const std::string& prefix);
