// Plain 8-bit text files.
#pragma once

#include <string>
#include <vector>

// Opens a file for reading as text; false when it cannot be opened.
// Reading stops at a read failure, keeping the lines read so far.
bool ReadTextLines(const std::string& path, std::vector<std::string>* lines);

// Creates (or replaces) a file with the given lines, each ended by CR LF.
// Raises InstallerError when the file cannot be created or written.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
