// The steps the install and upgrade procedures share, each reading the
// family's row of vqdlib/family.h.
#pragma once

#include <string>

struct Family;

// An installed driver without an install count gets the count 1.
void AdoptUncountedDriver(const Family& family, const std::string& prefix);
// Writes every carried file of the family into TempDir with its file times;
// true when this run wrote every one of them. Otherwise none is read, copied
// or registered: the procedure goes on as after a failed copy.
bool ExtractCarriedFiles(const Family& family, const std::string& prefix);
// Whether the extracted driver is to go in: always when no driver is
// installed, otherwise when it is newer than the installed one or `force` is
// set (then updateLine is logged).
bool CarriedIsToGoIn(const Family& family, const std::string& prefix, bool force, const std::string& updateLine);
// Deletes them again, in the same order; a file already gone is no error.
void DeleteCarriedFiles(const Family& family);
// Copies the extracted driver over the installed one; logs "<prefix>File
// copy of X succeeded/failed". Nothing is copied unless `extracted`. A copied
// driver leaves no disabled copy of itself beside it that is not newer.
bool CopyDriver(const Family& family, const std::string& prefix, bool extracted);
// Registers the copied driver: the service key, and on Windows 2000 the
// lower filter and the setup information file. prefix is "Inst2K: " or
// "Upgrade2K: " for the lines of the INF copy.
void RegisterDriver(const Family& family, const std::string& prefix);
