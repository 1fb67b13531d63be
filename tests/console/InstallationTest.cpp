#include <gtest/gtest.h>

#include "tests/fixtures/TestDatabase.h"
#include "tests/fixtures/TestRoot.h"

namespace {

using kvtest::BinPath;
using kvtest::RunProgram;

TEST(ConsoleInstallation, RegistersTheSnapinWritesTheDocumentAndTheSystemFolders) {
    kvtest::TestRoot root;
    kvtest::TestDatabase db(root);
    auto snapin = RunProgram(BinPath("kvreg"), {"query", "HKLM\\SOFTWARE\\Microsoft\\MMC\\SnapIns\\{B103D0C5-3192-4123-BD83-ABDAACA9F990}",
                                                 "/v", "NameString"});
    EXPECT_EQ(snapin.exitCode, 0) << snapin.err;
    auto server = RunProgram(BinPath("kvreg"), {"query", "HKCR\\CLSID\\{B103D0C5-3192-4123-BD83-ABDAACA9F990}\\InprocServer32"});
    EXPECT_NE(server.out.find("OrvConsole.so"), std::string::npos) << server.out;
    const std::string document = kvtest::ReadTextFile(root.Path() + "/Tsl3/Tsl3.msc");
    EXPECT_NE(document.find("SnapIn={B103D0C5-3192-4123-BD83-ABDAACA9F990}\n"), std::string::npos) << document;
    auto folders = RunProgram(BinPath("kvreg"), {"query", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"});
    EXPECT_NE(folders.out.find("SystemRoot    REG_SZ    C:\\usr\n"), std::string::npos) << folders.out;
    EXPECT_NE(folders.out.find("SystemDirectory    REG_SZ    C:\\usr\\bin\n"), std::string::npos) << folders.out;

    // A second installation changes neither the document nor the folders.
    kvtest::WriteTextFile(root.Path() + "/Tsl3/Tsl3.msc", "SnapIn={B103D0C5-3192-4123-BD83-ABDAACA9F990}\nTitle=Mine\n");
    ASSERT_EQ(RunProgram(BinPath("kvreg"), {"add", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "/v",
                                            "SystemRoot", "/d", "C:\\opt", "/f"})
                  .exitCode,
              0);
    kvtest::TestDatabase again(root);
    EXPECT_EQ(kvtest::ReadTextFile(root.Path() + "/Tsl3/Tsl3.msc"),
              "SnapIn={B103D0C5-3192-4123-BD83-ABDAACA9F990}\nTitle=Mine\n");
    EXPECT_NE(RunProgram(BinPath("kvreg"), {"query", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "/v",
                                            "SystemRoot"})
                  .out.find("C:\\opt"),
              std::string::npos);
}

}  // namespace
