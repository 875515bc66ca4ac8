// The command line: splitting, switches, and the help text.
#pragma once

#include <string>
#include <vector>

// The arguments after the program name: split at white space, a double-quoted
// stretch belongs to one argument without its quotes.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Sets the run state from the arguments (all are read before anything is done).
void ReadArguments(const std::vector<std::string>& args);

// "/NOTIFYREG" replaces the flag file by the registry flag; "/ASKREBOOT"
// suppresses both.
void NormaliseNotifyFlags();

std::string HelpText();
void ShowHelp();
