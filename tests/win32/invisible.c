/* A deployment tool's run where nobody sees a window, for the end-to-end tests:
 *   invisible.exe "COMMAND LINE"
 * makes a window station without WSF_VISIBLE and a desktop in it, starts
 * COMMAND LINE there and exits with its exit code;
 *   invisible.exe /DESKTOP "COMMAND LINE"
 * does the same on a new desktop of its own (visible) window station, which
 * is not the input desktop. A child still running after 60 s is killed:
 * exit code 255. 254 when the station or desktop cannot be made or the
 * station is not as asked, 253 when the command does not start. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  HWINSTA own = GetProcessWindowStation(), station;
  HDESK desk;
  USEROBJECTFLAGS flags;
  DWORD needed = 0, code = 255;
  STARTUPINFOA start;
  PROCESS_INFORMATION child;
  char desktop[] = "vqdinvisible\\vqddesk";
  const int own_desktop = argc == 3 && strcmp(argv[1], "/DESKTOP") == 0;
  if (argc != 2 && !own_desktop) {
    fprintf(stderr, "usage: invisible [/DESKTOP] \"COMMAND LINE\"\n");
    return 2;
  }
  station = own_desktop ? own : CreateWindowStationA("vqdinvisible", 0, WINSTA_ALL_ACCESS, NULL);
  if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed) ||
      ((flags.dwFlags & WSF_VISIBLE) != 0) != own_desktop) {
    fprintf(stderr, "no window station as asked: %lu\n", (unsigned long)GetLastError());
    return 254;
  }
  /* A desktop is made in the caller's own window station. */
  desk = SetProcessWindowStation(station) ? CreateDesktopA("vqddesk", NULL, NULL, 0, GENERIC_ALL, NULL) : NULL;
  SetProcessWindowStation(own);
  if (!desk) {
    fprintf(stderr, "no desktop in the station: %lu\n", (unsigned long)GetLastError());
    return 254;
  }
  ZeroMemory(&start, sizeof start);
  start.cb = sizeof start;
  start.lpDesktop = own_desktop ? desktop + 13 : desktop;  /* "vqddesk" in the own station */
  if (!CreateProcessA(NULL, argv[argc - 1], NULL, NULL, TRUE, 0, NULL, NULL, &start, &child)) {
    fprintf(stderr, "cannot start %s: %lu\n", argv[argc - 1], (unsigned long)GetLastError());
    return 253;
  }
  if (WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(child.hProcess, 255);
    WaitForSingleObject(child.hProcess, 5000);
    return 255;
  }
  GetExitCodeProcess(child.hProcess, &code);
  return (int)code;
}
