// Install, uninstall and upgrade of the driver, one procedure per Windows
// family. Each result tells whether a reboot is needed.
#pragma once

// Set by the uninstall procedures: a removal that was due left the driver
// registered (its filter entry or its service key stayed), or there was no
// system directory to find the driver and its count in.
extern bool RemovalIncomplete;
// Set when the copy of the driver into place failed (or had nothing to copy).
extern bool DriverCopyFailed;

bool InstNT();
bool Inst2K();
bool Inst9x();

bool UnInstNT(bool force);
bool UnInst2K(bool force);
bool UnInst9x(bool force);

// overwrite: copy the carried driver even when the installed one is as new.
bool UpgradeNT(bool overwrite);
bool Upgrade2K(bool overwrite);
bool Upgrade9x(bool overwrite);

// The procedure of the running family.
bool InstallForFamily();
bool UninstallForFamily(bool force);
bool UpgradeForFamily(bool overwrite);
