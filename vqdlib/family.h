// What differs between the three Windows families, side by side: the
// driver's files, the carried files that go with it, how it is registered,
// and the log lines that name it. Every operation that works per family
// reads its row here: the probes, the install count and the service key
// (vqdlib/service.cpp), enabling and disabling (vqdlib/enable.cpp), the
// payload table (package/payload.cpp), the install, uninstall and upgrade
// procedures (procedures/) and the dialog (app/dialogs/interactive.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A carried file: a resource of type "DATA" (with its "_DATE" record of file
// times) and the name it is written under.
struct PayloadFile {
  const char* resource;  // "VQD2K"
  const char* fileName;  // "VQD2K.SYS"
};

// The service key that loads an NT-family driver, under HKEY_LOCAL_MACHINE.
struct ServiceKey {
  const char* path;         // "SYSTEM\CurrentControlSet\Services\VQD2K"
  const char* displayName;  // stored with its terminating zero
  uint32_t start;           // 0: boot start (NT 4); 1: system start
  const char* logName;      // "RegCreateVQD2K": the first line, and the prefix of the rest
  const char* removed;      // the lines of a removal that succeeded or failed
  const char* removeFailed;
};

// The lines of the family's probe (IsDriverInstalled).
struct ProbeLines {
  const char* start;      // "IVQD2K"
  const char* foundFile;  // the active driver file is there
  const char* foundKey;   // its service key opens; null without a service key
  const char* installed;
  const char* notInstalled;
};

// The lines of the install, uninstall and upgrade procedures that differ,
// each after "<procedure name>: ".
struct ProcedureLines {
  const char* withoutCounter;  // an installed driver without an install count
  const char* legacyFound;     // the install found the legacy driver
  const char* extracting;
  const char* foundPrevious;   // an installed driver: the versions are compared
  const char* notFound;        // none: the carried one goes in
  const char* forcedRemoval;
  const char* decrementing;    // an unforced removal lowers the count; null: no line
  // The upgrade's prefix; NT 4's is spelt "UpgadeNT: ", as log readers look
  // for it.
  const char* upgradePrefix;
  const char* upgradeNewer;  // the upgrade replaces the installed driver
};

struct Family {
  const char* tag;  // "NT", "2K", "9x": the per-family operations' names end in it

  // Files. The driver lies in SystemDir + folder under the name it is carried
  // under (its active name), or under its disabled name after "/DISABLE".
  const char* folder;        // "\DRIVERS\" or "\IOSUBSYS\"
  PayloadFile driver;        // {"VQD2K", "VQD2K.SYS"}
  const char* disabledName;  // "VQD2K.DIS"
  bool vxd;                  // a VxD: its version is read as a VxD's under any name
  // Windows 2000: the setup information file handed to SetupCopyOEMInfA and
  // the catalog it names, extracted with the driver; {} elsewhere.
  PayloadFile inf;
  PayloadFile catalog;

  // Registration. Without a service key (Windows 9x) the file alone loads
  // the driver.
  const ServiceKey* service;
  // Windows 2000: the driver's entry in the CD-ROM class LowerFilters, the
  // name of its service; null elsewhere.
  const char* filter;
  // The same entry as enabling passes it to AddLowerFilter ("VQD2k"), which
  // its "ALF" line shows; the list stores it upper-cased.
  const char* enableFilter;
  // Enabling and disabling restart the CD-ROM devices, and their outcome
  // tells whether a reboot is needed; without this, one always is.
  bool restartsDevices;
  // The install registers the driver again when nothing was copied (the
  // installed one is as new), so that a changed service key or a lost INF
  // comes back; the upgrade does not. A lost filter entry never gets that
  // far: without it the driver reads as not installed and is copied.
  bool registersCurrent;

  ProbeLines probeLines;
  ProcedureLines lines;
};

// In the order every family-specific step tests them: NT 4 (IsNT and not
// Is2K), Windows 2000 and later (Is2K), Windows 9x (not IsNT).
extern const Family FamilyNT;
extern const Family Family2K;
extern const Family Family9x;

const Family& RunningFamily();

// SystemDir + "\DRIVERS\VQD2K.SYS" and SystemDir + "\DRIVERS\VQD2K.DIS";
// callers see to an empty SystemDir.
std::string ActiveDriverPath(const Family& family);
std::string DisabledDriverPath(const Family& family);

// What the install extracts, in that order: the driver, then the INF and
// the catalog where the family has them.
std::vector<PayloadFile> CarriedFiles(const Family& family);
