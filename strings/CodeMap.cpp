#include "strings/CodeMap.h"

namespace {

struct CodeMapRow {
    DWORD code;
    UINT stringId;
};

// Every code a deliverable requests must have a row here and a text in
// TslText.str; the tests hold the two together.
const CodeMapRow kCodeMap[] = {
    {PSC_REGISTRY_ROOT, 80},
    {PSC_SERVICE_NAME_ALT, 101},
    {PSC_SERVICE_NAME, 101},
    {0x02000002u, 102},
    {PSC_SERVICE_DESCRIPTION, 103},
    {PSC_UPDATE_PRODUCT_CODE, 400},
    {PSC_CONSOLE_NAME, 701},
    {PSC_CONSOLE_ABOUT, 702},
    {PSC_VERSION, 902},
    {PSC_PROVIDER, 903},
    {PSC_CONNECT_STRING, 26},
    {PSC_CONSOLE_CONNECT_STRING, 27},
};

}  // namespace

UINT StringIdOfCode(DWORD code) {
    for (const CodeMapRow& row : kCodeMap)
        if (row.code == code) return row.stringId;
    return 0;
}
