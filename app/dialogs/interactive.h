// The interactive mode: the main dialog's loop. Enabling and disabling happen
// inside the loop; Update and Remove set the run state for the main sequence.
#pragma once

#include <string>

// False when the process is to end with exit code 1 (closed, or a system the
// driver does not support); true with the run state set for the main sequence.
bool RunInteractiveMode();

// The host name of the support web site, named on an unsupported system.
extern const char* const SupportHost;

std::string PayloadDriverVersion();
std::string ActiveDriverVersion();
std::string DisabledDriverVersion();
