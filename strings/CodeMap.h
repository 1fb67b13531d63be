// Product-string codes and the string-table ids they map to.
#pragma once

#include "platform/win/WinTypes.h"

#define PSC_REGISTRY_ROOT 0x01000001u
#define PSC_SERVICE_NAME_ALT 0x02000000u
#define PSC_SERVICE_NAME 0x02000001u
#define PSC_SERVICE_DESCRIPTION 0x02000003u
#define PSC_UPDATE_PRODUCT_CODE 0x05000000u
#define PSC_CONSOLE_NAME 0x07000001u
#define PSC_CONSOLE_ABOUT 0x07000002u
#define PSC_VERSION 0x00000010u
#define PSC_PROVIDER 0x00000020u
#define PSC_CONNECT_STRING 0x11000000u
#define PSC_CONSOLE_CONNECT_STRING 0x11000001u

// The string-table id of a code, or 0 for a code that is not in the map.
UINT StringIdOfCode(DWORD code);
