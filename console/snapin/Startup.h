// The parts of a snap-in instance's initialisation that need no console
// host: the connection and the settings copy, the first start's defaults,
// and the lists read from the database and the extensions file.
#pragma once

#include "console/data/ConsoleData.h"

// Opens the connection and reads the settings copy; FALSE when the
// connection did not open (the caller tells the user and carries on).
BOOL OpenConsoleDatabase(CConsoleData& data);

// On the first start (FirstStart not 0): writes the default settings and
// clears the marker, so that it happens once.
void ApplyFirstStartDefaults(CConsoleData& data);

// The scan-job choice list, the link cache and the excluded extensions.
void LoadConsoleLists(CConsoleData& data);
