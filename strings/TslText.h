// TslText: the product's names, registry root and data-source connect
// strings, by product-string code.
#pragma once

#include "platform/text/CodePage.h"
#include "platform/win/WinTypes.h"

#define TSLTEXT_API extern "C" __attribute__((visibility("default")))

// 0 with a new BSTR in *text; 1 for a code that is not in the code map; -1
// when its string-table entry is absent or empty. *text is untouched unless 0.
TSLTEXT_API LONG GetResource(DWORD code, BSTR* text);

// As GetResource, converted to the ANSI code page into a caller's buffer of
// 1,024 characters; on failure shows "String not found in TslText.dll".
TSLTEXT_API LONG GetResourceString(DWORD code, LPSTR buffer);
