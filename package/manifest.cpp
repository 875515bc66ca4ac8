#include "package/manifest.h"

#include <string>
#include <vector>

#include "package/drivedb.h"
#include "package/payload.h"
#include "platform/platform.h"
#include "vqdlib/system.h"
#include "vqdlib/textfile.h"

void UnpackPayload() {
  for (const PayloadFile& file : PayloadTable) ResourceToFile(file.resource, file.fileName);
}

void WriteManifest() {
  TempDir = MakeTempDir();
  // Only what this run wrote is read: a file it could not write (or no
  // directory to write it in) leaves its version empty.
  bool written[6] = {};
  for (int i = 0; i < 6; ++i)
    written[i] = !TempDir.empty() &&
                 ResourceToFile(PayloadTable[i].resource, TempDir + "\\" + PayloadTable[i].fileName);
  // The manifest is created before any version is looked up: a manifest that
  // cannot be created ends the mode without them.
  plat::FileHandle manifest = CreateTextFile("VQDINST.MFT");
  const std::string self = plat::GetModuleFileNameA();
  std::vector<std::string> lines;
  lines.push_back("File manifest for " + self + ": " + GetFileVersion(self));
  // Lines 2 to 6: the first five carried files, in the order of the table.
  typedef std::string (*VersionReader)(const std::string&);
  const VersionReader readers[5] = {RegFileVersion, GetFileVersion, GetFileVersion, GetFileVersion, InfFileVersion};
  for (int i = 0; i < 5; ++i) {
    const std::string name = PayloadTable[i].fileName;
    lines.push_back(name + ": " + (written[i] ? readers[i](TempDir + "\\" + name) : std::string()));
  }
  lines.push_back("VQD2K.CAT: N/A");
  WriteTextLines(manifest, "VQDINST.MFT", lines);
  if (!TempDir.empty()) DeleteTempDir(TempDir);
}
