// The one text a caught database error is written as, shared by the engine's
// and the console's error reports so both logs read alike.
#pragma once

#include "core/database/Database.h"

// Writes "Database error; RetCode 0x%X, Description %s, Native state %s" at
// level 1, each text of the driver folded onto one line.
void WriteDBErrorLine(const CDBException& e);
