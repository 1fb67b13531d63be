#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

class KvLaunch : public ::testing::Test {
protected:
    void SetUp() override { root.CreateSettingsKey(); }
    int Launch(const std::vector<std::string>& args) {
        return kvtest::RunProgram(kvtest::BinPath("KvLaunch"), args).exitCode;
    }
    std::string Queue() { return root.GetString("SPROFILES"); }
    kvtest::TestRoot root;
};

TEST_F(KvLaunch, QueuesTheJobOnceAndRequestsACheck) {
    EXPECT_EQ(Launch({"7"}), 0);
    EXPECT_EQ(Queue(), "7;");
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);
    root.SetDword("STARTNOW", 0);
    EXPECT_EQ(Launch({"7"}), 0);
    EXPECT_EQ(Queue(), "7;");
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);  // requested again though already queued
    EXPECT_EQ(Launch({"3"}), 0);
    EXPECT_EQ(Queue(), "7;3;");
}

TEST_F(KvLaunch, BlanksAroundTheIdentifier) {
    EXPECT_EQ(Launch({" 7 "}), 0);
    EXPECT_EQ(Queue(), " 7 ;");  // an empty queue takes the argument as it is
    root.SetString("SPROFILES", "3;");
    EXPECT_EQ(Launch({" 7 "}), 0);
    EXPECT_EQ(Queue(), "3;7;");
}

TEST_F(KvLaunch, WholeEntriesAreCompared) {
    root.SetString("SPROFILES", "17;");
    EXPECT_EQ(Launch({"7"}), 0);
    EXPECT_EQ(Queue(), "17;7;");
    EXPECT_EQ(Launch({"17"}), 0);
    EXPECT_EQ(Queue(), "17;7;");
}

TEST_F(KvLaunch, AFullQueueIsNeitherCutNorCorrupted) {
    std::string full;
    while (full.size() + 4 <= 519) full += "123;";
    root.SetString("SPROFILES", full);  // 516 characters
    EXPECT_EQ(Launch({"456"}), 1);  // 520 characters would not fit
    EXPECT_EQ(Queue(), full);
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);  // the jobs already queued still run
    EXPECT_EQ(Launch({"4"}), 0);  // "4;" still fits: 518 characters
    EXPECT_EQ(Queue(), full + "4;");
}

TEST_F(KvLaunch, WrongArgumentCountsTouchNothing) {
    std::string logs = root.EnableDebugLog(1);
    EXPECT_EQ(Launch({}), 1);
    EXPECT_EQ(Launch({"1", "2"}), 1);
    EXPECT_FALSE(root.HasValue("SPROFILES"));
    EXPECT_FALSE(root.HasValue("STARTNOW"));
    std::string log = kvtest::ReadTextFile(logs + "/KvLaunch.txt");
    size_t first = log.find("Invalid nuber of parameters in the KvLaunch module\r\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Invalid nuber of parameters in the KvLaunch module\r\n", first + 1), std::string::npos);
}

TEST_F(KvLaunch, LogLinesAtLevelSix) {
    std::string logs = root.EnableDebugLog(6);
    EXPECT_EQ(Launch({"5"}), 0);
    std::string log = kvtest::ReadTextFile(logs + "/KvLaunch.txt");
    std::regex line("[A-Z][a-z]+ \\d{2}, \\d{4} \\d{2}:\\d{2}:\\d{2} \\d{1,3} .*\r\n");
    size_t start = 0, count = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start) + 2;
        ASSERT_TRUE(std::regex_match(log.substr(start, end - start), line)) << log.substr(start, end - start);
        start = end;
        ++count;
    }
    EXPECT_GT(count, 4u);
    EXPECT_TRUE(std::regex_search(log, std::regex(" \\d{1,3}  >> GetAppPath\r\n")));
    EXPECT_TRUE(std::regex_search(log, std::regex(" \\d{1,3}  << GetAppPath\r\n")));
    EXPECT_TRUE(std::regex_search(log, std::regex(" \\d{1,3}  >> SaveValueToRegistry\r\n")));
}

TEST_F(KvLaunch, AMissingSettingsKeyIsOnlyLogged) {
    fs::remove_all(root.Path() + "/registry/HKLM/SOFTWARE");
    EXPECT_EQ(Launch({"7"}), 0);
    EXPECT_FALSE(fs::exists(root.Path() + "/registry/HKLM/SOFTWARE"));
}

// The installation followed by launcher runs, as an operator would do it.
TEST(Installation, MakesTheSettingsTheLauncherUses) {
    kvtest::TestRoot root;
    std::string fresh = root.Path() + "/machine";
    std::vector<std::string> env = {"KESTRAVA_ROOT=" + fresh, "KESTRAVA_BIN=" + kvtest::BinPath("")};
    auto install = kvtest::RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {}, env);
    ASSERT_EQ(install.exitCode, 0) << install.err;
    for (const char* id : {"7", "7", "3"})
        EXPECT_EQ(kvtest::RunProgram(kvtest::BinPath("KvLaunch"), {id}, env).exitCode, 0);
    auto query = kvtest::RunProgram(kvtest::BinPath("kvreg"),
                                    {"query", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config", "/v", "SPROFILES"}, env);
    EXPECT_NE(query.out.find("    SPROFILES    REG_SZ    7;3;\n"), std::string::npos) << query.out;
    query = kvtest::RunProgram(kvtest::BinPath("kvreg"),
                               {"query", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config", "/v", "STARTNOW"}, env);
    EXPECT_NE(query.out.find("    STARTNOW    REG_DWORD    0x1\n"), std::string::npos) << query.out;

    // A second installation keeps what is there.
    auto again = kvtest::RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {}, env);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    query = kvtest::RunProgram(kvtest::BinPath("kvreg"),
                               {"query", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config", "/v", "SPROFILES"}, env);
    EXPECT_NE(query.out.find("7;3;"), std::string::npos);
    EXPECT_TRUE(fs::exists(fresh + "/Tsl3/Data/ExtExcluded.dat"));
}

}  // namespace
