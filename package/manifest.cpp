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
  for (const PayloadFile& file : PayloadTable) ResourceToFile(file.resource, TempDir + "\\" + file.fileName);
  // The manifest is created before any version is looked up: a manifest that
  // cannot be created ends the mode without them.
  plat::FileHandle manifest = CreateTextFile("VQDINST.MFT");
  const std::string self = plat::GetModuleFileNameA();
  std::vector<std::string> lines;
  lines.push_back("File manifest for " + self + ": " + GetFileVersion(self));
  lines.push_back("DRIVEDB.REG: " + RegFileVersion(TempDir + "\\DRIVEDB.REG"));
  lines.push_back("VQD.SYS: " + GetFileVersion(TempDir + "\\VQD.SYS"));
  lines.push_back("VQD2K.SYS: " + GetFileVersion(TempDir + "\\VQD2K.SYS"));
  lines.push_back("MERIDAX.VXD: " + GetFileVersion(TempDir + "\\MERIDAX.VXD"));
  lines.push_back("VQD2K.INF: " + InfFileVersion(TempDir + "\\VQD2K.INF"));
  lines.push_back("VQD2K.CAT: N/A");
  WriteTextLines(manifest, "VQDINST.MFT", lines);
  DeleteTempDir(TempDir);
}
