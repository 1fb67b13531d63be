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
    std::string text = LogText();
    size_t count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) break;
        std::string whole = text.substr(start, end - start);
        // The time prefix is four words: month, day, year and time.
        size_t cut = 0;
        for (int blanks = 0; blanks < 4 && cut != std::string::npos; ++blanks) {
            cut = whole.find(' ', cut);
            if (cut != std::string::npos) ++cut;
        }
        if (cut != std::string::npos && whole.substr(cut) == line) ++count;
        start = end + 2;
    }
    return count;
}

}  // namespace kvtest
