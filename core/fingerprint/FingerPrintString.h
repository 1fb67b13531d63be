// The fingerprint of a path text: the key that joins the item tables, so the
// engine and the console compute it with this one routine.
#pragma once

#include "core/fingerprint/Md5.h"
#include "platform/win/WinTypes.h"

// The digest of exactly the bytes of text (no terminator, no case folding)
// into fingerprint, which holds MD5_TEXT_CHARS characters. 0 on success; 1
// when text or fingerprint is missing (logged).
HRESULT FingerPrintString(const char* text, char* fingerprint);
