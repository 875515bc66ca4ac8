// A console program of the win32 build that runs single library operations
// against the real system, for the end-to-end tests under Wine. It is not part
// of vqdinst.exe.
//
//   vqdcheck version PATH...     prints "PATH=VERSION" per file (GetFileVersion)
//   vqdcheck family              prints IsNT, Is2K, UnsupportedOS and SystemDir
#include <cstdio>
#include <cstring>
#include <string>

#include "vqdlib/debuglog.h"
#include "vqdlib/system.h"

int main(int argc, char** argv) {
  InitLibrary();
  if (argc >= 2 && std::strcmp(argv[1], "version") == 0) {
    for (int i = 2; i < argc; ++i) std::printf("%s=%s\n", argv[i], GetFileVersion(argv[i]).c_str());
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "family") == 0) {
    std::printf("IsNT=%d Is2K=%d UnsupportedOS=%d SystemDir=%s\n", IsNT, Is2K, UnsupportedOS, SystemDir.c_str());
    return 0;
  }
  std::fprintf(stderr, "usage: vqdcheck version PATH... | vqdcheck family\n");
  return 2;
}
