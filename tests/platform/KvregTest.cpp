#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fixtures/TestRoot.h"

namespace {

using kvtest::BinPath;
using kvtest::RunProgram;

const std::string kConfig = "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config";

kvtest::ProcessResult Kvreg(const std::vector<std::string>& args) { return RunProgram(BinPath("kvreg"), args); }

TEST(Kvreg, QueryPrintsKeyThenNameTypeAndData) {
    kvtest::TestRoot root;
    ASSERT_EQ(Kvreg({"add", kConfig, "/v", "SMTPPORT", "/t", "REG_DWORD", "/d", "25", "/f"}).exitCode, 0);
    ASSERT_EQ(Kvreg({"add", kConfig, "/v", "SPROFILES", "/t", "REG_SZ", "/d", "7;3;", "/f"}).exitCode, 0);
    auto dword = Kvreg({"query", kConfig, "/v", "SMTPPORT"});
    EXPECT_EQ(dword.exitCode, 0);
    EXPECT_EQ(dword.out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config\n    SMTPPORT    REG_DWORD    0x19\n\n");
    auto text = Kvreg({"query", "hklm\\software\\kestrava corvid\\tsl3\\config", "/v", "sprofiles"});
    EXPECT_NE(text.out.find("    SPROFILES    REG_SZ    7;3;\n"), std::string::npos) << text.out;
    auto all = Kvreg({"query", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrava Corvid\\Tsl3"});
    EXPECT_NE(all.out.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config\n"), std::string::npos) << all.out;
}

TEST(Kvreg, BadInputIsRefusedAndWritesNothing) {
    kvtest::TestRoot root;
    const std::vector<std::vector<std::string>> bad = {
        {"add", "HKXX\\SOFTWARE\\A", "/v", "X", "/d", "1", "/f"},
        {"add", kConfig, "/v"},
        {"add", kConfig, "/v", "X", "/t", "REG_QWORD", "/d", "1", "/f"},
        {"add", kConfig, "/v", "X", "/t", "REG_DWORD", "/d", "twelve", "/f"},
        {"add", kConfig, "/v", "X", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
        {"add", kConfig, "/v", "X", "/t"},
        {"add", kConfig, "/v", "X", "/d"},
        {"add", kConfig, "/v", "X", "/bogus"},
        {"remove", kConfig},
    };
    for (const auto& args : bad) {
        auto result = Kvreg(args);
        EXPECT_NE(result.exitCode, 0) << args[0] << " " << args.back();
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/registry/HKLM/SOFTWARE"));
}

TEST(Kvreg, AddKeepsAnExistingValueUnlessForced) {
    kvtest::TestRoot root;
    ASSERT_EQ(Kvreg({"add", kConfig, "/v", "LOGDIR", "/d", "C:\\Logs", "/f"}).exitCode, 0);
    EXPECT_NE(Kvreg({"add", kConfig, "/v", "LOGDIR", "/d", "C:\\Other"}).exitCode, 0);
    EXPECT_EQ(root.GetString("LOGDIR"), "C:\\Logs");
    EXPECT_EQ(Kvreg({"add", kConfig, "/v", "LOGDIR", "/d", "C:\\Other", "/f"}).exitCode, 0);
    EXPECT_EQ(root.GetString("LOGDIR"), "C:\\Other");
}

TEST(Kvreg, DeleteNeedsConfirmationAndReportsMissingValues) {
    kvtest::TestRoot root;
    ASSERT_EQ(Kvreg({"add", kConfig, "/v", "STARTNOW", "/t", "REG_DWORD", "/d", "0x1", "/f"}).exitCode, 0);
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);
    EXPECT_NE(Kvreg({"delete", kConfig, "/v", "STARTNOW"}).exitCode, 0);
    EXPECT_TRUE(root.HasValue("STARTNOW"));
    EXPECT_EQ(Kvreg({"delete", kConfig, "/v", "STARTNOW", "/f"}).exitCode, 0);
    EXPECT_FALSE(root.HasValue("STARTNOW"));
    EXPECT_NE(Kvreg({"delete", kConfig, "/v", "STARTNOW", "/f"}).exitCode, 0);
    EXPECT_NE(Kvreg({"query", kConfig, "/v", "STARTNOW"}).exitCode, 0);
    EXPECT_EQ(Kvreg({"delete", "HKLM\\SOFTWARE\\Kestrava Corvid", "/f"}).exitCode, 0);
    EXPECT_NE(Kvreg({"query", kConfig}).exitCode, 0);
}

}  // namespace
