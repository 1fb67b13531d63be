// Windows Sockets start-up. Sockets here are BSD sockets and need no
// start-up; the calls keep the bookkeeping the system relies on: version 1.1
// is granted, and each successful start wants one cleanup.
#pragma once

#include "platform/win/WinTypes.h"

#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | ((WORD)((BYTE)(high))) << 8))
#define LOBYTE(w) ((BYTE)((w) & 0xFF))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xFF))
#define WSAVERNOTSUPPORTED 10092

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
};

// Grants the requested version when it is 1.1; 0 on success, otherwise
// WSAVERNOTSUPPORTED with the granted version in data.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
