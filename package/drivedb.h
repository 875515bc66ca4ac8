// The drive database and the version lines of the carried text files.
#pragma once

#include <string>

// The default value of a registry import file: the rest of the first line
// beginning with @=" without its closing quote; empty when there is none.
std::string RegFileVersion(const std::string& fileName);

// The rest of the first line of a setup information file beginning with ";Ver=".
std::string InfFileVersion(const std::string& fileName);
