// vqdrun.h: starting vqdinst.exe for the custom actions of vqdaction.dll
// (vqdaction.cpp), and the few string helpers a DLL without a C runtime
// needs.
#ifndef VQDINST_EXAMPLES_MSI_VQDRUN_H_
#define VQDINST_EXAMPLES_MSI_VQDRUN_H_

#include <windows.h>

constexpr UINT kTextSize = 1024;

// This DLL, whose resource "VQDINST" is the copy of vqdinst.exe the
// package carries (set by DllMain).
extern HINSTANCE g_module;

// Append TEXT (or NUMBER in decimal) to the zero-ended TO of SIZE bytes;
// false when cut short.
bool Append(char* to, UINT size, const char* text);
bool AppendNumber(char* to, UINT size, DWORD number);

enum Outcome { kRan, kNotStarted, kTimedOut };

// Runs FOLDER\vqdinst.exe SWITCHES in FOLDER and waits for it, at most 10
// minutes (then stops it). *code is its exit code, or the error that kept it
// from starting; *rebootFlag whether it left "reboot.txt"; *missing whether
// the folder had no vqdinst.exe, so that the carried copy was written there,
// run and deleted. The flag files of the run are deleted.
Outcome RunOnce(const char* folder, const char* switches, DWORD* code, bool* rebootFlag, bool* missing);

#endif  // VQDINST_EXAMPLES_MSI_VQDRUN_H_
