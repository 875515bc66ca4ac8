// The older conflicting CD-ROM drivers (BREMCO on NT 4, BREMCO2k on Windows
// 2000 and later, PLOVANT.VXD on Windows 9x) and the ASPI miniport exclusion.
#pragma once

bool IsBremcoInstalled();
bool IsBremco2KInstalled();
bool IsPlovantInstalled();
bool RemoveBremco();
bool RemoveBremco2K();
bool RemovePlovant();
bool ClearExcludeMiniports();
