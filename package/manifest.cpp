#include "package/manifest.h"

#include <string>
#include <vector>

#include "package/drivedb.h"
#include "package/payload.h"
#include "platform/platform.h"
#include "vqdlib/system.h"
#include "vqdlib/textfile.h"

namespace {

typedef std::string (*VersionReader)(const std::string& path);

// How the manifest reads a carried file's version: the drive database by its
// default-value line, the INF by its ";Ver=" line, a driver by its version
// resource; the catalog has none (null).
VersionReader ReaderOf(const PayloadFile& file) {
  const std::string resource = file.resource;
  if (resource == DriveDbFile.resource) return RegFileVersion;
  if (resource == Family2K.inf.resource) return InfFileVersion;
  if (resource == Family2K.catalog.resource) return nullptr;
  return GetFileVersion;
}

}  // namespace

void UnpackPayload() {
  for (const PayloadFile& file : PayloadTable) ResourceToFile(file.resource, file.fileName);
}

void WriteManifest() {
  TempDir = MakeTempDir();
  // Only what this run wrote is read: a file it could not write (or no
  // directory to write it in) leaves its version empty.
  std::vector<std::string> written;  // per file of the table its path, or empty
  for (const PayloadFile& file : PayloadTable) {
    const std::string path = TempDir + "\\" + file.fileName;
    written.push_back(!TempDir.empty() && ResourceToFile(file.resource, path) ? path : std::string());
  }
  // The manifest is created before any version is looked up: a manifest that
  // cannot be created ends the mode without them.
  plat::FileHandle manifest = CreateTextFile("VQDINST.MFT");
  const std::string self = plat::GetModuleFileNameA();
  std::vector<std::string> lines;
  lines.push_back("File manifest for " + self + ": " + GetFileVersion(self));
  // A line per carried file, in the order of the table.
  for (size_t i = 0; i < PayloadTable.size(); ++i) {
    const std::string name = PayloadTable[i].fileName;
    const VersionReader reader = ReaderOf(PayloadTable[i]);
    if (!reader)
      lines.push_back(name + ": N/A");
    else
      lines.push_back(name + ": " + (written[i].empty() ? std::string() : reader(written[i])));
  }
  WriteTextLines(manifest, "VQDINST.MFT", lines);
  if (!TempDir.empty()) DeleteTempDir(TempDir);
}
