// "/UNPACK" and "/MANIFEST": the carried files, or their versions, in the
// current directory.
#pragma once

void UnpackPayload();
// Raises InstallerError when VQDINST.MFT cannot be written.
void WriteManifest();
