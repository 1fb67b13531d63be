#include "agent/MessageTexts.h"

#include <string>

#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "platform/text/CodePage.h"
#include "strings/CodeMap.h"

const char* ServiceNameText() {
    // Product strings are loaded once at program start, before any box.
    static const std::string name = std::string(ProductText(PSC_SERVICE_NAME)).substr(0, 255);
    return name.c_str();
}

void ShowLoadedText(const char* text, UINT style) {
    MessageBoxA(nullptr, text != nullptr ? text : "", ServiceNameText(), style);
}

void ShowText(UINT id, UINT style) {
    char* text = LoadModuleString(id);
    ShowLoadedText(text, style);
    if (text != nullptr) CoTaskMemFree(text);
}

void ShowTextIfLoaded(UINT id, UINT style) {
    char* text = LoadModuleString(id);
    if (text == nullptr) return;
    ShowLoadedText(text, style);
    CoTaskMemFree(text);
}
