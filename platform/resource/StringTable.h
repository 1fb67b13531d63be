// The layout of a string-table resource compiled into a library from its text
// file (see rcgen). Entries are sorted by id.
#pragma once

#include <cstdint>

extern "C" {
struct KvStringEntry {
    uint32_t id;
    const char* text;  // UTF-8
};
struct KvStringTableData {
    uint32_t count;
    const KvStringEntry* entries;
};
}

// A library exports each table through an accessor function of the table's
// name (returning the KvStringTableData), not as a global: every library
// carries tables of the same names, and same-named globals of several
// modules in one process are a clash.
// The exported name under which a library carries its string table.
#define KV_STRING_TABLE_SYMBOL "kv_string_table"
// The exported name of a library's message table (event-log message texts,
// by event id and category number).
#define KV_MESSAGE_TABLE_SYMBOL "kv_message_table"
