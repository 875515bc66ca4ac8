// Outcome flags for the calling setup program: "reboot.txt"/"badinst.txt" in
// the current directory, or values under HKCU\Software\Velcordia\VQDINST.
#pragma once

#include <string>

extern const char* const FlagKey;

void CreateFlagFile(const std::string& name);
void CreateRegFlag(const std::string& name);
void DeleteFlagFile(const std::string& name);
void DeleteRegFlag();
