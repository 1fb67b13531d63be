// Content fingerprints: the MD5 digest of a file as 32 lower-case hexadecimal
// digits (the path fingerprint lives in the layer the console shares).
#pragma once

#include "core/fingerprint/FingerPrintString.h"
#include "platform/win/WinTypes.h"

// Bytes read per call while hashing a file.
#define FINGERPRINT_BLOCK_BYTES 4096
// Result when the service's stop flag was seen during the reading.
#define FINGERPRINT_STOPPED 15

// The digest of the content of the file at path (Windows form), read in
// blocks of FINGERPRINT_BLOCK_BYTES. 0 on success; 1 when fingerprint is
// missing; E_FAIL when the file cannot be opened; FINGERPRINT_STOPPED when the
// stop flag was seen after a read, E_FAIL too when a read fails. fingerprint
// is written only on success.
HRESULT FingerPrintFile(const char* path, char* fingerprint);

// The same for a file already open for reading (path names it in the log).
// A read that fails gives E_FAIL: part of the content is no fingerprint of it.
HRESULT FingerPrintOpenFile(HANDLE file, const char* path, char* fingerprint);

// The same for a file a folder enumeration listed, opened in that folder by
// its name (see OpenFoundFile); path names it in the log. E_FAIL, logged,
// when it cannot be opened.
HRESULT FingerPrintListedFile(HANDLE find, const char* name, const char* path, char* fingerprint);

// Read calls the last FingerPrintFile of the calling thread made, the final
// empty read included.
DWORD FingerPrintFileReadCount();
