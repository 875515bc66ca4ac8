/* A deployment tool's run where nobody sees a window, for the end-to-end tests:
 *   invisible.exe "COMMAND LINE"
 * makes a window station without WSF_VISIBLE and a desktop in it, starts
 * COMMAND LINE there and exits with its exit code. A child still running
 * after 60 s is killed: exit code 255. 254 when the station cannot be made
 * or is visible, 253 when the command does not start. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  HWINSTA own = GetProcessWindowStation(), station;
  HDESK desk;
  USEROBJECTFLAGS flags;
  DWORD needed = 0, code = 255;
  STARTUPINFOA start;
  PROCESS_INFORMATION child;
  char desktop[] = "vqdinvisible\\vqddesk";
  if (argc != 2) {
    fprintf(stderr, "usage: invisible \"COMMAND LINE\"\n");
    return 2;
  }
  station = CreateWindowStationA("vqdinvisible", 0, WINSTA_ALL_ACCESS, NULL);
  if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed) ||
      (flags.dwFlags & WSF_VISIBLE)) {
    fprintf(stderr, "no invisible window station: %lu\n", (unsigned long)GetLastError());
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
  start.lpDesktop = desktop;
  if (!CreateProcessA(NULL, argv[1], NULL, NULL, TRUE, 0, NULL, NULL, &start, &child)) {
    fprintf(stderr, "cannot start %s: %lu\n", argv[1], (unsigned long)GetLastError());
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
