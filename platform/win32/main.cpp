// Entry point of the Windows program: the DLL search order, the library
// initialisation, then the run.
#include <windows.h>

#include "app/cmdline.h"
#include "app/mainflow.h"
#include "platform/win32/sysdll.h"
#include "vqdlib/system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a DLL: the program's folder and the current
  // directory are out of the search for every DLL loaded from here on.
  plat::win32::RestrictDllSearch();
  // No box that waits for a person (often nobody is there): a drive without
  // a disk (the current directory, TEMP) is an error like any other.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  InitLibrary();
  int code = RunVqdinst(SplitCommandLine(GetCommandLineA()));
  ExitProcess(static_cast<UINT>(code));
}
