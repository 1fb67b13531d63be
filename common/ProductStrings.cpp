#include "common/ProductStrings.h"

#include <cstdio>
#include <cstring>

#include "common/Deliverable.h"
#include "common/Settings.h"
#include "platform/text/CodePage.h"
#include "strings/CodeMap.h"
#include "strings/TslText.h"

namespace {

const size_t kSlots = 8;

struct ProductTextSlot {
    DWORD code;
    char text[PRODUCT_TEXT_CHARS];
};

ProductTextSlot g_productTexts[kSlots];
size_t g_productTextCount = 0;

void Keep(DWORD code, const char* text) {
    ProductTextSlot* slot = nullptr;
    for (size_t i = 0; i < g_productTextCount; ++i)
        if (g_productTexts[i].code == code) slot = &g_productTexts[i];
    if (slot == nullptr) {
        if (g_productTextCount == kSlots) return;
        slot = &g_productTexts[g_productTextCount++];
        slot->code = code;
    }
    std::snprintf(slot->text, sizeof slot->text, "%s", text);
}

}  // namespace

void LoadProductStrings() {
    for (size_t i = 0; i < g_Deliverable.productCodeCount; ++i) {
        DWORD code = g_Deliverable.productCodes[i];
        BSTR text = nullptr;
        if (GetResource(code, &text) != 0 || text == nullptr) continue;
        char ansi[PRODUCT_TEXT_CHARS] = {};
        WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
        ansi[sizeof ansi - 1] = '\0';
        SysFreeString(text);
        Keep(code, ansi);
    }
    std::snprintf(g_szSettingsKey, sizeof g_szSettingsKey, "%s\\Config",
                  ProductText(PSC_REGISTRY_ROOT));
}

const char* ProductText(DWORD code) {
    for (size_t i = 0; i < g_productTextCount; ++i)
        if (g_productTexts[i].code == code) return g_productTexts[i].text;
    return "";
}
