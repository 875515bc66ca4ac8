// Windows family, system directories, administrator test and file versions.
#pragma once

#include <cstdint>
#include <string>

extern bool IsNT;           // Windows NT family
extern bool Is2K;           // Windows 2000 or later
extern bool UnsupportedOS;  // NT family newer than version 5
extern bool IsWow64;        // a 64-bit Windows: unsupported whatever its version
extern std::string SystemDir;  // no trailing backslash; empty when unknown

// Runs once before the main flow: detects the family and caches SystemDir,
// with logging off.
void InitLibrary();

void DetectWindows();
bool IsAdmin();
std::string GetSystemDir();
std::string GetWindowsDir();

// FileVersion string of a file's version resource (a VxD's included), with
// the look-up's lines in the debug log; empty when there is none. A file
// named ".VXD" is read as a VxD; GetFileVersionAs says which it is, for a VxD
// under another name (a disabled "MERIDAX.DIS").
std::string GetFileVersion(const std::string& path);
std::string GetFileVersionAs(const std::string& path, bool vxd);

// Letters a-z upper-cased; every other character as it is.
std::string UpperCase(std::string text);

// True when FindFirstFileA finds the file. A folder of that name is no file:
// a driver's name taken by a folder is no driver.
bool FileFound(const std::string& path);
