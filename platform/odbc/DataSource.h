// The ODBC data sources of the machine root. The driver manager reads its
// driver and data-source files from $KESTRAVA_ROOT/odbc (odbcinst.ini and
// odbc.ini), never from the host's own, and every connection of the system
// holds the database file it reaches shared while it is open, so that the
// file is not replaced under it (see DatabaseFileLock).
#pragma once

#include <string>

namespace kv::platform {

// $KESTRAVA_ROOT/odbc
std::string DataSourceFolder();

// Points the driver manager at the root's data-source files. Called before
// every connect; changes the environment only when the root changed.
void UseMachineDataSources();

// The POSIX path of the database file a connect string reaches: its own
// Database attribute, or that of its DSN in the root's odbc.ini. Empty when
// neither names one.
std::string DataSourceDatabaseFile(const std::string& connectString);

}  // namespace kv::platform
