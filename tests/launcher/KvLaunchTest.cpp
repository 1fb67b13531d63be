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

TEST_F(KvLaunch, RefusesWhatIsNoJobNumberAndLeavesTheQueue) {
    std::string logs = root.EnableDebugLog(1);
    root.SetString("SPROFILES", "3;");
    for (const char* argument : {"abc", "-1", "0", "7x", "99999999999", "2147483648", ";", ""}) {
        auto run = kvtest::RunProgram(kvtest::BinPath("KvLaunch"), {argument});
        EXPECT_EQ(run.exitCode, 1) << argument;
        EXPECT_NE(run.err.find("is no scan job number"), std::string::npos) << argument;
        EXPECT_EQ(Queue(), "3;") << argument;
    }
    EXPECT_FALSE(root.HasValue("STARTNOW"));
    EXPECT_NE(kvtest::ReadTextFile(logs + "/KvLaunch.txt").find("KvLaunch was given \"abc\", which is no scan job number"),
              std::string::npos);
    EXPECT_EQ(Launch({"2147483647"}), 0);
    EXPECT_EQ(Queue(), "3;2147483647;");
}

TEST_F(KvLaunch, HelpTouchesNothing) {
    std::string logs = root.EnableDebugLog(7);
    for (const char* argument : {"--help", "/?"}) {
        auto run = kvtest::RunProgram(kvtest::BinPath("KvLaunch"), {argument});
        EXPECT_EQ(run.exitCode, 0) << argument;
        EXPECT_EQ(run.out.rfind("Usage: KvLaunch <scan job>", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
    EXPECT_FALSE(root.HasValue("SPROFILES"));
    EXPECT_FALSE(root.HasValue("STARTNOW"));
    EXPECT_FALSE(fs::exists(logs + "/KvLaunch.txt"));
}

TEST_F(KvLaunch, AQueueTooLongToReadIsLeftForTheEngine) {
    std::string queue;
    while (queue.size() < 1100) queue += "12;";
    root.SetString("SPROFILES", queue);
    EXPECT_EQ(Launch({"7"}), 1);
    EXPECT_EQ(Queue(), queue);
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);  // the engine repairs it at its check
}

TEST_F(KvLaunch, TheLogIsPrivateAndNeverWrittenThroughALink) {
    std::string logs = root.EnableDebugLog(6);
    kvtest::WriteTextFile(root.DriveC() + "/victim.txt", "keep");
    fs::create_symlink(root.DriveC() + "/victim.txt", logs + "/KvLaunch.txt");
    EXPECT_EQ(Launch({"5"}), 0);
    EXPECT_EQ(kvtest::ReadTextFile(root.DriveC() + "/victim.txt"), "keep");
    fs::remove(logs + "/KvLaunch.txt");
    EXPECT_EQ(Launch({"6"}), 0);
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(logs + "/KvLaunch.txt")));
    EXPECT_EQ(fs::status(logs + "/KvLaunch.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
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

    // What the data folder, the database, the logs and the event records
    // tell is for their owner alone.
    const fs::perms owner = fs::perms::owner_all;
    for (const char* folder : {"/Tsl3/Data", "/Tsl3/Logs", "/eventlog"})
        EXPECT_EQ(fs::status(fresh + folder).permissions() & fs::perms::all, owner) << folder;
    for (const char* file : {"/Tsl3/Data/KvData.mdb", "/Tsl3/Data/ExtExcluded.dat"})
        EXPECT_EQ(fs::status(fresh + file).permissions() & (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none)
            << file;
}

}  // namespace
