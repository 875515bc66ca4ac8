// The debug log: VQDINST.LOG in the root of the Windows drive, one line per
// DebugLog call, the banner first. Off unless "/DEBUG" or the dialog's Debug
// Log button switched it on.
#pragma once

#include <string>

extern bool DebugEnabled;  // logging is wanted
extern bool DebugLogOpen;  // the log file is open

void OpenDebugLog();
void DebugLog(const std::string& text);
void CloseDebugLog();

// Path of the log: the drive part of the Windows directory + "\VQDINST.LOG".
std::string DebugLogPath(const std::string& windowsDir);
