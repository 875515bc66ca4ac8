// DLLs of the system that the program loads at run time, and the search
// order of every later load. The program runs elevated, often from a download
// folder that others can write to: a DLL is only ever loaded from the system
// directory, by its full path, never by a bare name that the loader would
// look for beside vqdinst.exe or in the current directory first.
#pragma once

#include <windows.h>

namespace plat {
namespace win32 {

// LoadLibraryExA of the system directory's copy of `name` by its full path;
// the DLLs it needs in turn come from the system directory
// (LOAD_LIBRARY_SEARCH_SYSTEM32 where the system knows it, else
// LOAD_WITH_ALTERED_SEARCH_PATH: beside it first). Null with the last error
// set when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// *function = GetProcAddress(module, name): null when it is missing.
template <typename F>
void Resolve(HMODULE module, const char* name, F* function) {
  FARPROC address = module ? ::GetProcAddress(module, name) : nullptr;
  *function = reinterpret_cast<F>(reinterpret_cast<void*>(address));
}

// Takes the program's folder and the current directory out of the search
// order of every later load: SetDefaultDllDirectories(system directory only)
// where the system has it (Windows 8, and 7 and Vista with the update that
// added it), SetDllDirectoryA("") where it has that (XP SP1 and later). Both
// are looked up in kernel32 at run time; older systems have neither. Called
// first thing at start.
void RestrictDllSearch();

}  // namespace win32
}  // namespace plat
