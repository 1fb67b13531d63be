#include "console/module/ModuleStartup.h"

#include <mutex>

#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "platform/library/Library.h"
#include "platform/text/CodePage.h"
#include "strings/CodeMap.h"

namespace {

std::once_flag g_started;
std::string g_snapinName;
std::u16string g_snapinNameWide;

}  // namespace

void InitConsoleModule() {
    std::call_once(g_started, [] {
        LoadProductStrings();
        g_snapinName = ProductText(PSC_CONSOLE_NAME);
        g_snapinNameWide = kv::platform::Utf8ToUtf16(g_snapinName);
        // Every user-visible text comes from the language library.
        SetResourceHandle(GetResourceModule());
    });
}

const std::string& SnapinName() { return g_snapinName; }
const std::u16string& SnapinNameWide() { return g_snapinNameWide; }

HMODULE ConsoleModuleHandle() { return GetModuleHandleA("OrvConsole.dll"); }

std::string ConsoleModulePath() {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(ConsoleModuleHandle(), path, sizeof path);
    if (n == 0 || n >= sizeof path) return std::string();
    return std::string(path, n);
}
