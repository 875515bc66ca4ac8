/* Another user's program that keeps files open, for the end-to-end tests:
 *   holdopen.exe STOPFILE FILE...
 * opens every FILE for reading, sharing reading only (so nobody can write,
 * replace or delete it meanwhile), then creates STOPFILE.ready and waits
 * until STOPFILE exists. Exit code 0, or 2 when a file cannot be opened
 * (then nothing is held and no .ready file is made). */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  HANDLE held[32];
  char ready[MAX_PATH + 8];
  int i, n = 0;
  HANDLE marker;
  if (argc < 3 || argc - 2 > 32 || strlen(argv[1]) > MAX_PATH) {
    fprintf(stderr, "usage: holdopen STOPFILE FILE... (at most 32)\n");
    return 2;
  }
  for (i = 2; i < argc; ++i) {
    held[n] = CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (held[n] == INVALID_HANDLE_VALUE) {
      fprintf(stderr, "cannot open %s: %lu\n", argv[i], (unsigned long)GetLastError());
      while (n > 0) CloseHandle(held[--n]);
      return 2;
    }
    ++n;
  }
  strcpy(ready, argv[1]);
  strcat(ready, ".ready");
  marker = CreateFileA(ready, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  while (GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  while (n > 0) CloseHandle(held[--n]);
  return 0;
}
