#include "tests/console/ConsoleFixture.h"

#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "console/data/ProfileRecord.h"
#include "console/module/ModuleStartup.h"
#include "console/settings/ExtensionList.h"
#include "platform/library/Library.h"

namespace kvtest {

ConsoleFixture::ConsoleFixture() {
    InitConsoleModule();
    SetResourceHandle(LoadLibraryA(BinPath("OrvRes409.dll").c_str()));
    db = std::make_unique<TestDatabase>(root);
    root.SetDword("DEBUG", 1);
    root.SetDword("DEBUGLEVEL", 7);
    m_logFile = root.Path() + "/Tsl3/Logs/kvconfigdbg.txt";
    g_strDefaultMailTo.clear();
    g_strDefaultMailFrom.clear();
    g_strExtList.clear();
    RefreshSettings();
}

ConsoleFixture::~ConsoleFixture() {
    // The process-wide copies must not leak into the next test.
    g_dwDebug = 0;
    g_szDataPath[0] = '\0';
}

void ConsoleFixture::RefreshSettings() const { GetDefaultSettingsFromRegistry(); }

std::string ConsoleFixture::LogText() const { return ReadTextFile(m_logFile); }

size_t ConsoleFixture::LogCount(const std::string& line) const {
    // The console's time prefix is four words: month, day, year and time.
    return CountLogMessages(LogText(), line, 4);
}

}  // namespace kvtest
