// What the snap-in module fetches once per process before any of its
// classes runs: the product texts and the settings key they form.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

void InitConsoleModule();

// The snap-in name (product code 0x7000001), also kept as wide text.
const std::string& SnapinName();
const std::u16string& SnapinNameWide();
// The module's full path in Windows form; empty when it cannot be found.
std::string ConsoleModulePath();
HMODULE ConsoleModuleHandle();
