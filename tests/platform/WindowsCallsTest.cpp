// Library loading, code pages, system information, message boxes and the
// drive map: the small stand-ins every deliverable starts with.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/fs/PathMap.h"
#include "platform/library/Library.h"
#include "platform/resource/StringResource.h"
#include "platform/system/SystemInfo.h"
#include "platform/text/CodePage.h"
#include "platform/ui/MessageBox.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

TEST(Library, WindowsNamesFindTheSharedObjects) {
    kvtest::TestRoot root;
    std::string bin = kvtest::BinPath("");
    HMODULE module = LoadLibraryA((bin + "OrvRes409.dll").c_str());
    ASSERT_NE(module, nullptr);
    char text[64] = {};
    EXPECT_GT(LoadStringA(module, 10001, text, sizeof text), 0);
    EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    // The same file loaded by its Windows-form path is the same module.
    root.MapDrive('b', bin.substr(0, bin.size() - 1));
    EXPECT_EQ(LoadLibraryA("B:\\ORVRES409.DLL"), module);
    char path[780] = {};
    ASSERT_GT(GetModuleFileNameA(module, path, sizeof path), 0u);
    EXPECT_STREQ(path, "B:\\OrvRes409.so");
    EXPECT_TRUE(FreeLibrary(module));

    EXPECT_EQ(LoadLibraryA((bin + "OrvRes999.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("Z:\\OrvEngine.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Library, Kernel32OffersTheUserInterfaceLanguage) {
    HMODULE kernel = LoadLibraryW(u"kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    auto proc = reinterpret_cast<LANGID (*)()>(GetProcAddress(kernel, "GetUserDefaultUILanguage"));
    ASSERT_NE(proc, nullptr);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(proc(), 0x0407);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(GetProcAddress(kernel, "CreateFileW"), nullptr);
}

TEST(CodePage, Utf8AndUtf16RoundTrip) {
    const char* text = "Grüße €𝄞";
    int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    ASSERT_EQ(wide, 10);  // five letters, a blank, the euro sign, a surrogate pair, the terminator
    std::u16string buffer(static_cast<size_t>(wide), u'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, buffer.data(), wide), wide);
    char back[32] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, buffer.data(), -1, back, sizeof back, nullptr, nullptr),
              static_cast<int>(std::strlen(text) + 1));
    EXPECT_STREQ(back, text);

    const char invalid[] = {'a', static_cast<char>(0xC3), '(', 0};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, invalid, -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, invalid, -1, nullptr, 0), 4);  // a, U+FFFD, (, terminator

    BSTR bstr = SysAllocString(u"abc");
    EXPECT_EQ(SysStringLen(bstr), 3u);
    EXPECT_EQ(SysStringByteLen(bstr), 6u);
    SysFreeString(bstr);
    SysFreeString(nullptr);
}

TEST(SystemInfo, VersionFollowsTheOverride) {
    OSVERSIONINFOA info {};
    info.dwOSVersionInfoSize = sizeof info;
    ::unsetenv("KESTRAVA_WINVER");
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    ::setenv("KESTRAVA_WINVER", "4.0", 1);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    ::setenv("KESTRAVA_WINVER", "9x", 1);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
    ::setenv("KESTRAVA_WINVER", "fail", 1);
    EXPECT_FALSE(GetVersionExA(&info));
    ::unsetenv("KESTRAVA_WINVER");
    info.dwOSVersionInfoSize = 4;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST(SystemInfo, LocaleNamesMapToLanguageIds) {
    using kv::platform::LangIdFromLocale;
    EXPECT_EQ(LangIdFromLocale("en_US.UTF-8"), 0x0409);
    EXPECT_EQ(LangIdFromLocale("de_DE.UTF-8"), 0x0407);
    EXPECT_EQ(LangIdFromLocale("de_AT@euro"), 0x0C07);
    EXPECT_EQ(LangIdFromLocale("es_ES.UTF-8"), 0x0C0A);
    EXPECT_EQ(LangIdFromLocale("en_GB"), 0x0809);
    EXPECT_EQ(LangIdFromLocale("fr_LU"), 0x040C);  // the language's default country
    EXPECT_EQ(LangIdFromLocale("C"), 0x0409);
    EXPECT_EQ(LangIdFromLocale("C.UTF-8"), 0x0409);
    EXPECT_EQ(LangIdFromLocale("xx_YY"), 0);
    // LC_ALL wins over LC_MESSAGES, which wins over LANG.
    ::setenv("LANG", "de_DE.UTF-8", 1);
    ::setenv("LC_MESSAGES", "es_ES.UTF-8", 1);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0C0A);
    ::unsetenv("LC_MESSAGES");
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0407);
    ::unsetenv("LANG");
}

TEST(SystemInfo, ComputerNameIsTheUpperCaseFirstLabel) {
    char name[16] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(size, std::strlen(name));
    EXPECT_LE(size, 15u);
    for (const char* p = name; *p; ++p) {
        EXPECT_NE(*p, '.');
        EXPECT_FALSE(*p >= 'a' && *p <= 'z');
    }
    DWORD tooSmall = 1;
    EXPECT_FALSE(GetComputerNameA(name, &tooSmall));
    EXPECT_EQ(tooSmall, size + 1);
}

TEST(MessageBox, BoxesAreRecordedWhenAsked) {
    kvtest::TestRoot root;
    std::string log = root.Path() + "/boxes.log";
    ::setenv("KESTRAVA_MSGBOX_LOG", log.c_str(), 1);
    EXPECT_EQ(MessageBoxA(nullptr, "Line one\nline two", "Caption", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "No caption", nullptr, MB_OK), IDOK);
    ::unsetenv("KESTRAVA_MSGBOX_LOG");
    EXPECT_EQ(kvtest::ReadTextFile(log), "Caption: Line one line two\nError: No caption\n");
}

TEST(PathMap, DrivesMapBothWays) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/Data/deep");
    root.MapDrive('d', root.DriveC() + "/Data");
    EXPECT_EQ(kv::platform::ToPosixPath("C:\\Data\\x.mdb"), root.DriveC() + "/Data/x.mdb");
    EXPECT_EQ(kv::platform::ToPosixPath("c:\\"), root.DriveC());
    EXPECT_EQ(kv::platform::ToPosixPath("Q:\\x"), "");
    EXPECT_EQ(kv::platform::ToPosixPath("/var/lib\\x"), "/var/lib/x");
    // The drive with the longest folder holds the path.
    EXPECT_EQ(kv::platform::ToWindowsPath(root.DriveC() + "/Data/deep"), "D:\\deep");
    EXPECT_EQ(kv::platform::ToWindowsPath(root.DriveC() + "/Database"), "C:\\Database");
    EXPECT_EQ(kv::platform::ToWindowsPath(root.DriveC()), "C:\\");
    EXPECT_EQ(kv::platform::ToWindowsPath("/elsewhere/x"), "\\elsewhere\\x");
    EXPECT_EQ(kv::platform::ToPosixPath(kv::platform::ToWindowsPath("/elsewhere/x")), "/elsewhere/x");
    root.MapDrive('e', "/");
    EXPECT_EQ(kv::platform::ToPosixPath("E:\\etc\\passwd"), "/etc/passwd");
}

}  // namespace
