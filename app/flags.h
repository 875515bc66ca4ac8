// Outcome flags for the calling setup program: "reboot.txt"/"badinst.txt" in
// the current directory, or values under HKCU\Software\Velcordia\VQDINST.
#pragma once

#include <string>

extern const char* const FlagKey;

void CreateFlagFile(const std::string& name);
void CreateRegFlag(const std::string& name);
void DeleteFlagFile(const std::string& name);
void DeleteRegFlag();

// Asks the user to reboot ("Installation complete." or "Uninstallation
// complete.") and reboots on Yes.
void RebootPrompt(bool installed);
// True when a reboot question is due and nobody can see it (the window
// station is not visible); logs so. The run then goes on as after No.
bool RebootQuestionUnseen();
// The last step of a run: exit code 10/11/6/13, the "badinst" and "reboot"
// flags, the reboot question and the final message boxes of an interactive
// run, all from the run state.
void ReportOutcome();
