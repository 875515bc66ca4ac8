// Entry point of the Windows program: the library initialisation, then the run.
#include <windows.h>

#include "app/cmdline.h"
#include "app/mainflow.h"
#include "vqdlib/system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitLibrary();
  int code = RunVqdinst(SplitCommandLine(GetCommandLineA()));
  ExitProcess(static_cast<UINT>(code));
}
