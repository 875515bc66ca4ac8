// What the system tells of itself and of its files, read without the debug
// log: the log opens with two of these (the drive of the Windows directory,
// the program's own version), and the logging look-ups of vqdlib/system.h
// (GetSystemDir, GetWindowsDir, GetFileVersion) are built on them.
#pragma once

#include <cstdint>
#include <string>

// GetSystemDirectoryA and GetWindowsDirectoryA, at most 260 characters;
// empty when the system gives none.
std::string SystemDirectoryText();
std::string WindowsDirectoryText();

// Whether the file is named as a VxD (".VXD" or ".vxd" in its path).
bool NamedAsVxd(const std::string& path);

// FileVersion string of a file's version resource, read as a VxD's when
// `vxd` is set; empty when there is none. `log` is given the look-up's lines
// ("GFV: ..."); null for none.
std::string FileVersionText(const std::string& path, bool vxd, void (*log)(const std::string& line));

uint32_t VxdVersionResourceSize(const std::string& path);
// capacity: the buffer size in, the size of the version data out. Without a
// buffer, or with a buffer too small, only the size is reported (false).
bool ReadVxdVersionResource(const std::string& path, uint32_t* capacity, uint8_t* buffer);
