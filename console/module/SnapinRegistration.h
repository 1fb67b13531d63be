// The snap-in's registration with the console host and its COM classes.
#pragma once

#include "platform/win/WinTypes.h"

// "SOFTWARE\Microsoft\MMC\SnapIns\{ComponentData CLSID}" under HKLM.
#define SNAPINS_KEY "SOFTWARE\\Microsoft\\MMC\\SnapIns"

HRESULT RegisterSnapin();
HRESULT UnregisterSnapin();
