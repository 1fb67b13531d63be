#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/DebugLog.h"
#include "common/Deliverable.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/text/CodePage.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

// The language libraries are looked up beside the deliverable's own module.
// The test plays a deliverable whose module is a library in a program folder
// on drive C:, with only the language libraries each case puts there.
class ResourceModule : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "KESTRAVA_WINVER"}) ::unsetenv(name);
        root.CreateSettingsKey();
        LoadProductStrings();
        program = root.DriveC() + "/Program";
        fs::create_directories(program);
        fs::copy_file(kvtest::BinPath("OrvRes409.so"), program + "/Anchor.so");
        ASSERT_NE(LoadLibraryA((program + "/Anchor.dll").c_str()), nullptr);
        g_Deliverable = kLauncherProfile;
        g_Deliverable.moduleFile = "Anchor.dll";
        root.EnableDebugLog(3);
        GetDebugSettingsFromRegistry();
    }
    void TearDown() override { g_Deliverable = kLauncherProfile; }

    void Install(const char* built, const char* as) {
        fs::copy_file(kvtest::BinPath(built), program + "/" + as);
    }
    std::string Selected() {
        HMODULE module = GetResourceModule();
        if (module == nullptr) return "none";
        char path[780] = {};
        GetModuleFileNameA(module, path, sizeof path);
        std::string text(path);
        return text.substr(text.rfind('\\') + 1);
    }
    std::string Log() { return kvtest::ReadTextFile(root.DriveC() + "/Logs/KvLaunch.txt"); }
    void SetLocaleValue(const char* locale) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_USERS, ".DEFAULT\\Control Panel\\International", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr);
        RegSetValueExA(key, "Locale", 0, REG_SZ, reinterpret_cast<const BYTE*>(locale),
                       static_cast<DWORD>(std::strlen(locale) + 1));
        RegCloseKey(key);
    }

    kvtest::TestRoot root;
    std::string program;
};

TEST_F(ResourceModule, TheUserInterfaceLanguageChoosesItsLibrary) {
    Install("OrvRes409.so", "OrvRes409.so");
    Install("OrvRes407.so", "OrvRes407.so");
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(Selected(), "OrvRes407.so");
    EXPECT_EQ(g_bWindowsFamily, 2);
    // Spanish has no library here: the fallback is English.
    ::setenv("LANG", "es_ES.UTF-8", 1);
    EXPECT_EQ(Selected(), "OrvRes409.so");
    // The name tried first is in lower-case hexadecimal.
    Install("OrvRes407.so", "OrvResc0a.so");
    EXPECT_EQ(Selected(), "OrvResc0a.so");
}

TEST_F(ResourceModule, OlderSystemsReadTheLocaleValue) {
    Install("OrvRes409.so", "OrvRes409.so");
    Install("OrvRes407.so", "OrvRes809.so");
    ::setenv("KESTRAVA_WINVER", "4.0", 1);
    ::setenv("LANG", "de_DE.UTF-8", 1);  // not consulted on these systems
    SetLocaleValue("00000809");
    EXPECT_EQ(Selected(), "OrvRes809.so");
    EXPECT_EQ(g_bWindowsFamily, 1);

    RegDeleteTreeA(HKEY_USERS, ".DEFAULT");
    EXPECT_EQ(Selected(), "OrvRes409.so");
    EXPECT_NE(Log().find("GetResourceModule: error when trying to open registry"), std::string::npos);
}

TEST_F(ResourceModule, FailuresFallBackToEnglishAndAreLogged) {
    Install("OrvRes409.so", "OrvRes409.so");
    ::setenv("LANG", "xx_YY.UTF-8", 1);
    EXPECT_EQ(Selected(), "OrvRes409.so");
    EXPECT_NE(Log().find("Failed to load the system language"), std::string::npos);
    ::setenv("KESTRAVA_WINVER", "fail", 1);
    EXPECT_EQ(Selected(), "OrvRes409.so");
    EXPECT_NE(Log().find("Error when trying to retreive system version"), std::string::npos);
}

TEST_F(ResourceModule, NoLibraryAtAllGivesNone) {
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(Selected(), "none");
}

TEST_F(ResourceModule, StringsComeFromTheSelectedLibrary) {
    Install("OrvRes407.so", "OrvRes409.so");  // a German library in the fallback's place
    SetResourceHandle(GetResourceModule());
    ASSERT_NE(GetResourceHandle(), nullptr);
    char* text = LoadModuleString(10001);
    ASSERT_NE(text, nullptr);
    std::string german(text);
    CoTaskMemFree(text);
    std::string consoleText = "unchanged";
    EXPECT_EQ(LoadResourceString(10001, consoleText), 0);
    EXPECT_EQ(consoleText, german);

    root.EnableDebugLog(3);
    GetDebugSettingsFromRegistry();
    EXPECT_EQ(LoadModuleString(1), nullptr);
    consoleText = "unchanged";
    EXPECT_EQ(LoadResourceString(1, consoleText), 1);
    EXPECT_EQ(consoleText, "unchanged");
    std::string log = Log();
    size_t first = log.find("Failed to load string resource: 1\r\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Failed to load string resource: 1\r\n", first + 1), std::string::npos);
}

}  // namespace
