// Plain 8-bit text files.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Opens a file for reading as text; false when it cannot be opened.
// Reading stops at a read failure, keeping the lines read so far.
bool ReadTextLines(const std::string& path, std::vector<std::string>* lines);

// Creates (or replaces) a file for writing text. Raises InstallerError when
// it cannot be created.
plat::FileHandle CreateTextFile(const std::string& path);

// Writes the lines, each ended by CR LF, into a file of CreateTextFile and
// closes it. Raises InstallerError when writing or closing fails (the file is
// closed all the same); path names the file in the error.
void WriteTextLines(plat::FileHandle file, const std::string& path, const std::vector<std::string>& lines);
