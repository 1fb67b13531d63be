// Vireo, the update-check library a product calls to learn the latest build
// published for it. Programs load "Vireo.dll" and import the check by
// ordinal 100.
#pragma once

#include "platform/win/WinTypes.h"

#define VIREO_ORDINAL_CHECK 100

// The check's statuses.
#define VIREO_FOUND 0              // *latestBuild holds the latest build
#define VIREO_BAD_CALL (-1)        // unknown interface version or missing arguments
#define VIREO_FAILED (-2)          // the check could not run (no memory, no HTTP client)
#define VIREO_INTERNET_ERROR (-3)  // *detail holds the WinInet-style error code
#define VIREO_BAD_ANSWER (-4)      // the server answered, but not with the product's build
#define VIREO_NO_ADDRESS (-5)      // no update address is configured
#define VIREO_INCOMPLETE (-6)      // the answer was larger than an update document can be

// The registry key holding the update address (REG_SZ "Address"; empty or
// missing: no check) and the time-out in seconds (REG_DWORD "TimeOut",
// default 30).
#define VIREO_SETTINGS_KEY "SOFTWARE\\Vireo\\UpdateCheck"

// version: 1. productCode: the product's code ("SVNTSL"). The document at
// the address holds one line "CODE=BUILD" per product; blank lines and lines
// starting with "#" are ignored.
typedef LONG (*VIREO_CHECK_PROC)(LONG version, LPCSTR productCode, LONG* latestBuild, LONG* detail);
