#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/DebugLog.h"
#include "common/Deliverable.h"
#include "common/ProductStrings.h"
#include "common/Settings.h"
#include "platform/fs/PathMap.h"
#include "platform/library/Library.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

const char* const kMonth = "(January|February|March|April|May|June|July|August|September|October|November|December)";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override {
        root.CreateSettingsKey();
        LoadProductStrings();
    }
    void TearDown() override { g_Deliverable = kLauncherProfile; }
    std::string LogText(const char* name) { return kvtest::ReadTextFile(root.DriveC() + "/Logs/" + name); }
    kvtest::TestRoot root;
};

TEST_F(DebugLog, EngineLinesCarryMillisecondsAndStopAtTheLevel) {
    g_Deliverable = kEngineProfile;
    root.EnableDebugLog(6);
    for (const char* number : {"STARTNOW", "SFIRST", "SMTPPORT"}) root.SetDword(number, 0);
    root.SetString("SERVERIP", "127.0.0.1");
    root.SetString("DATAPATH", "C:\\Data");
    GetDebugSettingsFromRegistry();
    EXPECT_STREQ(g_szServerIP, "127.0.0.1");
    EXPECT_STREQ(g_szDataPath, "C:\\Data");
    EXPECT_STREQ(g_szLogFile, "C:\\Logs\\KvAgentDbg.txt");
    WriteDebugLog(6, " >> GetCurrentProfile");
    WriteDebugLog(7, ">> CheckFiles");
    std::vector<std::string> lines = Lines(LogText("KvAgentDbg.txt"));
    ASSERT_EQ(lines.size(), 2u);  // the exit line of the settings refresh, then ours
    std::regex form(std::string("^") + kMonth + " \\d{2}, \\d{4} \\d{2}:\\d{2}:\\d{2} (0|[1-9]\\d{0,2})  >> GetCurrentProfile$");
    EXPECT_TRUE(std::regex_match(lines[1], form)) << lines[1];
    EXPECT_NE(lines[0].find(" << GetDebugSettingsFromRegistry"), std::string::npos);
}

TEST_F(DebugLog, ServiceLinesEndTheTimeWithABlankAndHaveNoEntryLines) {
    g_Deliverable = kServiceProfile;
    root.EnableDebugLog(7);
    GetDebugSettingsFromRegistry();
    WriteDebugLog(7, "Service stopped");
    std::vector<std::string> lines = Lines(LogText("KvAgentDbg.txt"));
    ASSERT_EQ(lines.size(), 1u);
    std::regex form(std::string("^") + kMonth + " \\d{2}, \\d{4} \\d{2}:\\d{2}:\\d{2} Service stopped$");
    EXPECT_TRUE(std::regex_match(lines[0], form)) << lines[0];
}

TEST_F(DebugLog, NothingIsWrittenWhenTheLogIsOffOrTheLevelIsZero) {
    root.EnableDebugLog(0);
    GetDebugSettingsFromRegistry();
    WriteDebugLog(1, "Could not read information from registry");
    EXPECT_FALSE(fs::exists(root.DriveC() + "/Logs/KvLaunch.txt"));

    root.SetDword("DEBUG", 0);
    root.SetDword("DEBUGLEVEL", 7);
    GetDebugSettingsFromRegistry();
    WriteDebugLog(1, "Could not read information from registry");
    EXPECT_FALSE(fs::exists(root.DriveC() + "/Logs/KvLaunch.txt"));
    EXPECT_STREQ(g_szLogFile, "KvLaunch.txt");  // LOGDIR was not read
}

TEST_F(DebugLog, ControlCharactersAreWrittenEscapedSoAMessageIsOneLine) {
    g_Deliverable = kEngineProfile;
    root.EnableDebugLog(7);
    for (const char* number : {"STARTNOW", "SFIRST", "SMTPPORT"}) root.SetDword(number, 0);
    root.SetString("SERVERIP", "127.0.0.1");
    root.SetString("DATAPATH", "C:\\Data");
    GetDebugSettingsFromRegistry();
    // A file name holding a line feed must not forge the end of a check.
    WriteDebugLog(1, "Failed to compute MD5 for the file C:\\x\r\nDecember 07, 2026 23:02:21 57 << CheckFiles - STOP");
    WriteDebugLog(1, std::string("tab\there, bell\a, escape\x1b, delete\x7f, accents \xc3\xa9").c_str());
    std::vector<std::string> lines = Lines(LogText("KvAgentDbg.txt"));
    ASSERT_EQ(lines.size(), 3u);  // the exit line of the settings refresh, then ours
    EXPECT_NE(lines[1].find("C:\\x\\r\\nDecember 07, 2026 23:02:21 57 << CheckFiles - STOP"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("tab\\there, bell\\x07, escape\\x1B, delete\\x7F, accents \xc3\xa9"), std::string::npos)
        << lines[2];
}

TEST(SmtpPort, StartsAt25WhenTheValueIsMissing) {
    // A process of its own, as a freshly started engine.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            kvtest::TestRoot root;
            root.CreateSettingsKey();
            LoadProductStrings();
            g_Deliverable = kEngineProfile;
            GetDebugSettingsFromRegistry();
            std::exit(g_dwSmtpPort == 25 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DebugLog, LongMessagesAreCutToTheDeliverablesLimit) {
    const std::string message(12000, 'Q');  // a letter no month name holds
    struct Case {
        const DeliverableProfile* profile;
        const char* file;
        size_t kept;  // 0: whatever fits the line buffer
    } cases[] = {{&kEngineProfile, "KvAgentDbg.txt", 4950},
                 {&kLauncherProfile, "KvLaunch.txt", 0},
                 {&kConsoleProfile, "kvconfigdbg.txt", 9900}};
    root.EnableDebugLog(1);
    for (const Case& c : cases) {
        g_Deliverable = *c.profile;
        GetDebugSettingsFromRegistry();
        WriteDebugLog(1, message.c_str());
        std::string text = LogText(c.file);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        std::string line = Lines(text).back();
        size_t kept = static_cast<size_t>(std::count(line.begin(), line.end(), 'Q'));
        if (c.kept != 0) EXPECT_EQ(kept, c.kept) << c.file;
        else EXPECT_EQ(line.size() + 2, c.profile->lineBuffer - 1) << c.file;
    }
}

TEST_F(DebugLog, WithoutALogFolderTheLogLandsBesideTheModule) {
    g_Deliverable = kServiceProfile;
    root.SetDword("DEBUG", 1);
    root.SetDword("DEBUGLEVEL", 1);
    root.SetString("LOGDIR", "");
    GetDebugSettingsFromRegistry();
    std::string folder = fs::path(kv::platform::ProgramPath()).parent_path().string();
    EXPECT_EQ(std::string(g_szLogFile), kv::platform::ToWindowsPath(folder) + "\\KvAgentDbg.txt");

    // The launcher, with no LOGDIR at all, does the same rather than writing
    // a bare file name into whatever folder it runs in.
    g_Deliverable = kLauncherProfile;
    g_Deliverable.moduleFile = nullptr;
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kvtest::kSettingsKey, 0, KEY_WRITE, &key);
    RegDeleteValueA(key, "LOGDIR");
    RegCloseKey(key);
    GetDebugSettingsFromRegistry();
    EXPECT_EQ(std::string(g_szLogFile), kv::platform::ToWindowsPath(folder) + "\\KvLaunch.txt");
}

TEST_F(DebugLog, AFailedWriteLeavesNoExitLine) {
    root.EnableDebugLog(7);
    GetDebugSettingsFromRegistry();
    fs::remove_all(root.Path() + "/registry/HKLM/SOFTWARE");
    DWORD zero = 0;
    SaveValueToRegistry("STARTNOW", REG_DWORD, &zero, sizeof zero);
    std::vector<std::string> lines = Lines(LogText("KvLaunch.txt"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[lines.size() - 2].find(" >> SaveValueToRegistry"), std::string::npos);
    EXPECT_NE(lines.back().find("Could not set information into the registry"), std::string::npos);
    EXPECT_FALSE(fs::exists(root.Path() + "/registry/HKLM/SOFTWARE"));  // no key was created
}

TEST_F(DebugLog, UnreadableValuesLeaveTheDestination) {
    char queue[520] = "3;12;";
    EXPECT_EQ(ReadValueFromRegistry("SPROFILES", queue, sizeof queue), 1);
    EXPECT_STREQ(queue, "3;12;");
    root.SetString("SPROFILES", std::string(600, '1'));
    EXPECT_EQ(ReadValueFromRegistry("SPROFILES", queue, sizeof queue), 1);  // too long for the buffer
    EXPECT_STREQ(queue, "3;12;");
    root.SetString("SPROFILES", "12;");
    EXPECT_EQ(ReadValueFromRegistry("SPROFILES", queue, sizeof queue), 0);
    EXPECT_STREQ(queue, "12;");
}

TEST_F(DebugLog, ModulePathIsTheProgramFolderInWindowsForm) {
    EXPECT_EQ(GetModulePath(nullptr), 1);
    g_Deliverable = kServiceProfile;
    char folder[780] = {};
    ASSERT_EQ(GetModulePath(folder), 0);
    std::string expected = kv::platform::ToWindowsPath(fs::path(kv::platform::ProgramPath()).parent_path().string());
    EXPECT_EQ(std::string(folder), expected);
    // The engine's module is OrvEngine.dll: not loaded here, so no folder.
    g_Deliverable = kEngineProfile;
    EXPECT_NE(GetModulePath(folder), 0);
}

}  // namespace
