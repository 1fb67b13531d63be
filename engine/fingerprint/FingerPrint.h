// Content and path fingerprints: the MD5 digest as 32 lower-case hexadecimal
// digits. The path fingerprint is the key that joins the item tables, so the
// console computes it with the same routine.
#pragma once

#include "engine/fingerprint/Md5.h"
#include "platform/win/WinTypes.h"

// Bytes read per call while hashing a file.
#define FINGERPRINT_BLOCK_BYTES 4096
// Result when the service's stop flag was seen during the reading.
#define FINGERPRINT_STOPPED 15

// The digest of exactly the bytes of text (no terminator, no case folding)
// into fingerprint, which holds MD5_TEXT_CHARS characters. 0 on success; 1
// when text or fingerprint is missing (logged).
HRESULT FingerPrintString(const char* text, char* fingerprint);

// The digest of the content of the file at path (Windows form), read in
// blocks of FINGERPRINT_BLOCK_BYTES. 0 on success; 1 when fingerprint is
// missing; E_FAIL when the file cannot be opened; FINGERPRINT_STOPPED when the
// stop flag was seen after a read. fingerprint is written only on success.
HRESULT FingerPrintFile(const char* path, char* fingerprint);

// Read calls the last FingerPrintFile of the calling thread made, the final
// empty read included.
DWORD FingerPrintFileReadCount();
