#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file/File.h"
#include "platform/fs/Attributes.h"
#include "platform/shell/ShellInfo.h"
#include "platform/shell/SpecialFolders.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kv::platform::SystemImageName;

TEST(ShellFileInfo, TypesAndIconsComeFromTheNameAlone) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/Docs");
    // Content that looks like a PNG must not make a text file an image.
    kvtest::WriteTextFile(root.DriveC() + "/Docs/notes.txt", "\x89PNG\r\n\x1a\n");
    kvtest::WriteTextFile(root.DriveC() + "/Docs/run.sh", "#!/bin/sh\n");

    SHFILEINFOA info{};
    DWORD_PTR list = SHGetFileInfoA("C:\\Docs\\notes.txt", 0, &info, sizeof info,
                                    SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_TYPENAME);
    ASSERT_NE(list, 0u);
    EXPECT_EQ(SystemImageName(info.iIcon), "text-x-generic");
    EXPECT_STRNE(info.szTypeName, "");
    std::string textType = info.szTypeName;

    SHGetFileInfoA("C:\\Docs\\run.sh", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_TYPENAME);
    EXPECT_NE(std::string(info.szTypeName), textType);

    // The same icon keeps its index; the list is one for the process.
    SHFILEINFOA again{};
    EXPECT_EQ(SHGetFileInfoA("C:\\Docs\\other.TXT", FILE_ATTRIBUTE_NORMAL, &again, sizeof again,
                             SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES),
              list);
    SHGetFileInfoA("C:\\Docs\\notes.txt", 0, &info, sizeof info, SHGFI_SYSICONINDEX);
    EXPECT_EQ(again.iIcon, info.iIcon);
}

TEST(ShellFileInfo, FoldersAndDrivesHaveTheirOwnIcons) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/Data.tmp");
    SHFILEINFOA info{};
    ASSERT_NE(SHGetFileInfoA("C:\\Data.tmp\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_TYPENAME), 0u);
    EXPECT_EQ(SystemImageName(info.iIcon), "folder");
    SHGetFileInfoA("C:\\Data.tmp\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_OPENICON);
    EXPECT_EQ(SystemImageName(info.iIcon), "folder-open");
    SHGetFileInfoA("C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_DISPLAYNAME);
    EXPECT_EQ(SystemImageName(info.iIcon), "drive-harddisk");
    EXPECT_STREQ(info.szDisplayName, "C:");
    // A path that is not there is no answer unless its attributes are given.
    EXPECT_EQ(SHGetFileInfoA("C:\\Missing\\x.txt", 0, &info, sizeof info, SHGFI_TYPENAME), 0u);
    EXPECT_NE(SHGetFileInfoA("C:\\Missing\\x.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                             SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES),
              0u);
}

TEST(SpecialFolders, ComeFromTheSettingsWithTheSystemsDefaults) {
    kvtest::TestRoot root;
    char path[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_WINDOWS, FALSE));
    EXPECT_STREQ(path, "C:\\usr");
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_SYSTEM, FALSE));
    EXPECT_STREQ(path, "C:\\usr\\bin");
    ASSERT_EQ(kvtest::RunProgram(kvtest::BinPath("kvreg"), {"add", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                                             "/v", "SystemRoot", "/d", "D:\\Windows\\", "/f"})
                  .exitCode,
              0);
    EXPECT_EQ(GetWindowsDirectoryA(path, MAX_PATH), 10u);
    EXPECT_STREQ(path, "D:\\Windows");
    EXPECT_EQ(GetWindowsDirectoryA(path, 5), 11u);  // the size needed
    EXPECT_FALSE(SHGetSpecialFolderPathA(nullptr, path, 0x0005, FALSE));
}

}  // namespace
