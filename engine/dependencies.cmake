# Libraries the engine is built on. Add one block per library.
# ODBC: the driver manager (unixODBC) that the integrity database is reached through.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KV_ODBC REQUIRED IMPORTED_TARGET odbc)
target_link_libraries(kvengine PUBLIC PkgConfig::KV_ODBC)
