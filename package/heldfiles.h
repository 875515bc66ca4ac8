// Extracted files held open from their writing until their deletion, shared
// for reading only: while the run reopens one by its name (the registry
// editor, the version functions, the copy, SetupAPI), nobody can write,
// replace, rename or delete it. Share modes hold on Windows 9x and on FAT too.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Closes the writing handle of a file just written with these bytes and
// holds the file instead; false (and logged) when it cannot be held or does
// not read back as written.
bool HoldWrittenFile(const std::string& path, plat::FileHandle writer, const uint8_t* bytes, uint32_t size);
// Lets go of one file, or of every one.
void ReleaseFile(const std::string& path);
void ReleaseAllFiles();
