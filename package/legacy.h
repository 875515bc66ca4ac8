// The older conflicting CD-ROM drivers (BREMCO on NT 4, BREMCO2k on Windows
// 2000 and later, PLOVANT.VXD on Windows 9x) and the ASPI miniport exclusion.
#pragma once

struct Family;

bool IsBremcoInstalled();
bool IsBremco2KInstalled();
bool IsPlovantInstalled();
bool RemoveBremco();
bool RemoveBremco2K();
bool RemovePlovant();
bool ClearExcludeMiniports();

// The legacy driver the family's install replaces: its probe and its removal.
bool IsLegacyInstalled(const Family& family);
bool RemoveLegacy(const Family& family);
