// LoadString over the string tables that the system's libraries carry.
#pragma once

#include "platform/win/WinTypes.h"

// Copies the text of the string id, cut to cchMax - 1 characters, and returns
// its length; 0 when the module has no such string.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int cchMax);
