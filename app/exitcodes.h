// What each exit code of vqdinst.exe means, in the words of the README's
// table: the result line the program writes to its standard output, and the
// log line of the Windows Installer example's custom action
// (examples/msi/vqdaction.cpp, built without a C runtime: nothing here needs
// one).
#pragma once

inline const char* ExitCodeMeaning(unsigned long code) {
  switch (code) {
    case 0: return "done";
    case 1: return "dialog closed, or the system refused in it";
    case 4: return "switches that exclude each other";
    case 5: return "not run as an administrator";
    case 6: return "done, restart needed";
    case 7: return "files unpacked";
    case 8: return "manifest written";
    case 9: return "/CHECK with /INSTALL, /REMOVE or /FORCEREMOVE";
    case 10: return "the driver is not correctly installed";
    case 11: return "the driver is correctly installed";
    case 12: return "a Windows the driver does not support";
    case 13: return "the action did not do what it was asked";
    default: return "unexpected result";
  }
}
