// The standard English descriptions of the Internet error codes (12001 and
// up) that the update check hands back with its network failures.
#pragma once

#include "platform/win/WinTypes.h"

// Null when the code has no description.
const char* InternetErrorText(LONG code);
