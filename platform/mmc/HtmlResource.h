// HTML pages carried by a module as resources, for "res://MODULE/PAGE"
// addresses. A module exports its pages through an accessor function named
// KV_HTML_TABLE_SYMBOL (see platform/library ModuleData), as it exports its
// string table; names compare without regard to case, as resource names do.
#pragma once

#include <cstdint>

extern "C" {
struct KvHtmlResource {
    const char* name;  // "GENERALSET.HTM"
    const char* data;  // the page's bytes
    uint32_t size;
};
struct KvHtmlResourceTable {
    uint32_t count;
    const KvHtmlResource* entries;
};
}

#define KV_HTML_TABLE_SYMBOL "kv_html_table"
