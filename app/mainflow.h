// The entry point's flow from start-up to the exit code.
#pragma once

#include <string>
#include <vector>

// Runs the program with the arguments after the program name and returns the
// process exit code. InitLibrary must have run.
int RunVqdinst(const std::vector<std::string>& args);

void DestroyMarkerWindow();
