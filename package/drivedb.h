// The drive database and the version lines of the carried text files.
#pragma once

#include <string>

// The default value of a registry import file: the rest of the first line
// beginning with @=" without its closing quote; empty when there is none.
std::string RegFileVersion(const std::string& fileName);

// The rest of the first line of a setup information file beginning with ";Ver=".
std::string InfFileVersion(const std::string& fileName);

extern const char* const DriveDBKey;

// true: import the carried database when it is newer than the installed one;
// false: delete the database key.
bool InstallDriveDB(bool install);
// The installed database's version (the key's default value); empty if none.
std::string DriveDBRegistryVersion();
// Runs program (its full path) with a command line in the current directory
// `directory` and waits for it; its exit code, or 4294967295 when it could not
// be started (also for a command line over 512 characters).
uint32_t ExecAndWait(const std::string& program, const std::string& commandLine, const std::string& directory,
                     uint16_t showWindow);
