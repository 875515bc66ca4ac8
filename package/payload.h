// The carried files: resources of type "DATA" with a "_DATE" record of file
// times beside each, written out by ResourceToFile into the private
// temporary directory (or the current directory for "/UNPACK").
#pragma once

#include <string>

struct PayloadFile {
  const char* resource;
  const char* fileName;
};

// In the order in which unpack and manifest handle them.
extern const PayloadFile PayloadTable[6];

// The private temporary directory of this run; empty until one is made.
extern std::string TempDir;

void ResourceToFile(const std::string& name, const std::string& path);

// <TEMP or the Windows directory>\931fas~9, created if possible; the path is
// returned whether or not the creation succeeded.
std::string MakeTempDir();
// Deletes the plain files directly in dir (except "reboot.txt"), then dir.
void DeleteTempDir(const std::string& dir);
