// The carried files: resources of type "DATA" with a "_DATE" record of file
// times beside each, written out by ResourceToFile into the private
// temporary directory (or the current directory for "/UNPACK").
#pragma once

#include <string>
#include <vector>

#include "vqdlib/family.h"

// The drive database; the drivers and the files that go with them are in
// their families' rows.
extern const PayloadFile DriveDbFile;

// Every carried file, in the order in which unpack and manifest handle them:
// the drive database, the three drivers, the Windows 2000 INF and catalog.
extern const std::vector<PayloadFile> PayloadTable;

// The private temporary directory of this run; empty until one is made.
extern std::string TempDir;

// Writes the resource to a file made new at path (whatever was at the name is
// deleted first) and gives it the times of the "_DATE" record. True when this
// call wrote the whole file: nothing else at the name is to be read or used.
// A file in the temporary directory of the run stays open, shared for reading
// only, until DeleteExtractedFile or DeleteTempDir: nobody can write, replace,
// rename or delete it while the run reopens it by its name.
bool ResourceToFile(const std::string& name, const std::string& path);
// Lets go of an extracted file and deletes it.
bool DeleteExtractedFile(const std::string& path);

// A directory made new by this run, private to the administrators and the
// program's user on the NT family: <TEMP>\931fas~9, or when that name is
// taken 931fas~9.1 to 931fas~9.99, and then the same under the Windows
// directory. Empty when none could be made (nothing is extracted then). On
// the NT family it stays open without delete sharing until DeleteTempDir
// removes it, so that nobody can rename it and put another in its place.
std::string MakeTempDir();
// Removes the temporary directories that runs which died left: those named
// as MakeTempDir names them under TEMP and the Windows directory, and
// deadRunDir (named by that run's journal), each only while it is still a
// plain directory as private as MakeTempDir makes them. Only under the run
// lock: no other run is using one then.
void ReclaimTempDirs(const std::string& deadRunDir);
// Deletes the files directly in dir (except "reboot.txt"), then dir; only a
// directory MakeTempDir made in this run, and never through a link.
void DeleteTempDir(const std::string& dir);
