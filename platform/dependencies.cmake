# Libraries the stand-ins are built on. Add one block per stand-in that needs one.
# The mail object's SMTP client.
find_package(CURL REQUIRED)
target_link_libraries(kvplatform PUBLIC CURL::libcurl)
# The compaction of the integrity database: the SQLite C API.
find_package(SQLite3 REQUIRED)
target_link_libraries(kvplatform PUBLIC SQLite::SQLite3)
