/* Another user racing an elevated run in a folder both can write, for the
 * end-to-end tests:
 *   racer.exe DIR FILE REGTEXT
 * waits until DIR\FILE exists, then tries to open that file for writing
 * (and closes it unwritten) and to rename DIR away; when the rename works it
 * makes a folder of its own under the name DIR, with REGTEXT as DIR\FILE.
 * Prints "file ERROR" and "dir ERROR", the error of each try (0: it worked).
 * Exit code 0, or 2 when DIR\FILE never came (30 s). */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  char file[MAX_PATH], away[MAX_PATH];
  HANDLE h;
  DWORD fileError = 0, dirError = 0, written;
  int tries;
  if (argc != 4 || strlen(argv[1]) + strlen(argv[2]) + 8 > MAX_PATH) {
    fprintf(stderr, "usage: racer DIR FILE REGTEXT\n");
    return 2;
  }
  sprintf(file, "%s\\%s", argv[1], argv[2]);
  sprintf(away, "%s.away", argv[1]);
  for (tries = 0; GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES; ++tries) {
    if (tries == 30000) return 2;
    Sleep(1);
  }
  h = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) fileError = GetLastError();
  else CloseHandle(h);
  if (!MoveFileA(argv[1], away)) {
    dirError = GetLastError();
  } else if (CreateDirectoryA(argv[1], NULL)) {
    h = CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h != INVALID_HANDLE_VALUE) {
      WriteFile(h, argv[3], (DWORD)strlen(argv[3]), &written, NULL);
      CloseHandle(h);
    }
  }
  printf("file %lu\ndir %lu\n", (unsigned long)fileError, (unsigned long)dirError);
  return 0;
}
