// The module's HTML pages, for the result panes of consoles without the
// message view ("res://" addresses).
#include "platform/mmc/HtmlResource.h"

namespace {

#define PAGE(heading, sentence)                                                                            \
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" heading "</title>"                     \
    "<style>body{font:13px system-ui,sans-serif;margin:24px;color:#222}h1{font-size:15px}</style>"      \
    "</head><body><h1><b>" heading "</b></h1><p>" sentence "</p></body></html>\n"

const char kGeneralPage[] =
    PAGE("General", "To change the general settings, right-click the &quot;General&quot; node and choose Properties.");
const char kVersionPage[] = PAGE("Program Version",
                                 "To see the program version or to check for updates, right-click the &quot;Program "
                                 "Version&quot; node and choose Properties.");
const char kProfilePage[] = PAGE("Scheduled scan",
                                 "To change the e-mail, schedule and monitored files of this scan job, right-click the "
                                 "scheduled-scan node and choose Properties.");

const KvHtmlResource kPages[] = {
    {"GENERALSET.HTM", kGeneralPage, sizeof kGeneralPage - 1},
    {"VERSION.HTM", kVersionPage, sizeof kVersionPage - 1},
    {"PROFILE.HTM", kProfilePage, sizeof kProfilePage - 1},
};

const KvHtmlResourceTable kTable = {sizeof kPages / sizeof kPages[0], kPages};

}  // namespace

extern "C" __attribute__((visibility("default"))) const KvHtmlResourceTable* kv_html_table() { return &kTable; }
