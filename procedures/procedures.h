// Install, uninstall and upgrade of the driver, one procedure per Windows
// family. Each result tells whether a reboot is needed.
#pragma once

bool InstNT();
bool Inst2K();
bool Inst9x();

bool UnInstNT(bool force);
bool UnInst2K(bool force);
bool UnInst9x(bool force);

bool UpgradeNT();
bool Upgrade2K();
bool Upgrade9x();

// The procedure of the running family.
bool InstallForFamily();
bool UninstallForFamily(bool force);
bool UpgradeForFamily();
