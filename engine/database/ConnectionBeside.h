// A second connection to the data source the engine's connection reaches,
// for work that runs on a thread of its own beside it (a read of the
// comparison, the roll). Made on the caller's thread, as every connection is.
//
//   CDatabase beside;
//   if (!OpenBeside(EngineDatabase(), beside)) { /* do the work on the engine's */ }
#pragma once

#include "core/database/Database.h"

// Rows still being appended through `connection` are stored first, so the
// work sees them as work on that connection would; their failure is thrown
// (CDBException). False, with nothing open, when `connection` is not open
// (the work then runs nowhere rather than alone) or `beside` cannot be
// opened.
bool OpenBeside(CDatabase* connection, CDatabase& beside);
