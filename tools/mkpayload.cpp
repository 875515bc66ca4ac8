// mkpayload: checks a payload folder and prepares it for embedding.
//
//   mkpayload PAYLOAD_DIR TIMES_FILE OUT_DIR
//
// PAYLOAD_DIR holds the six files vqdinst.exe carries (VQD.SYS, VQD2K.SYS,
// VQD2K.INF, VQD2K.CAT, MERIDAX.VXD, DRIVEDB.REG); TIMES_FILE gives their file
// times (format: payload/payload.txt). Writes into OUT_DIR, created if need
// be, a copy of each file, FILE.date (its three FILETIMEs), payload.rc for
// windres and payload-versions.txt, the versions read from the files. Stops
// with a message and exit code 1 when a file is missing or carries no version.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/payloadcheck.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: mkpayload PAYLOAD_DIR TIMES_FILE OUT_DIR\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[3], ec);
  std::string error;
  if (!payloadcheck::MakePayload(argv[1], argv[2], argv[3], &error)) {
    std::fprintf(stderr, "mkpayload: invalid payload: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
