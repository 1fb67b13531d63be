// kvwait against the real agent service and engine: it waits for the checks
// KvLaunch requested and prints each one's counts and result, and it tells a
// check that was stopped or cut off from one that ended normally.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/outcome/CheckOutcome.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunProgram;

const char* const kService = "Kestrava Selvane Tessellon 3 agent service";

using kvtest::WaitFor;

// An installation over the test's own drive C: with scan job 1 over
// C:\Sample\ and the agent service installed (not started).
class CheckWait : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("KESTRAVA_MSGBOX_LOG", (root.Path() + "/boxes.log").c_str(), 1);
        auto install = RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {},
                                  {"KESTRAVA_BIN=" + kvtest::BinPath(""), "KESTRAVA_DRIVE_C=" + root.DriveC()});
        ASSERT_EQ(install.exitCode, 0) << install.err;
        program = root.Path() + "/Tsl3";
        auto sql = RunProgram("/usr/bin/sqlite3",
                              {program + "/Data/KvData.mdb",
                               "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0);"
                               "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\\Sample\\', '', 0);"});
        ASSERT_EQ(sql.exitCode, 0) << sql.err;
        fs::create_directories(root.DriveC() + "/Sample/Reports");
        Write("Sample/Reports/q1.txt", "quarterly figures\n");
        Write("Sample/Reports/q2.txt", "quarterly figures\n");
        Write("Sample/notes.txt", "old notes\n");
        // No mail server: the alert's failure is logged and the check goes on.
        root.SetString("SERVERIP", "127.0.0.1");
        root.SetDword("SMTPPORT", 9);
        auto created = RunProgram(program + "/KvAgent", {"/service", "/nm"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    void TearDown() override {
        RunProgram(kvtest::BinPath("kvsc"), {"stop", kService, "--wait"});
        ::unsetenv("KESTRAVA_MSGBOX_LOG");
    }

    void Write(const std::string& relative, const std::string& text) {
        std::ofstream(root.DriveC() + "/" + relative, std::ios::binary) << text;
    }
    void StartService() {
        auto started = RunProgram(kvtest::BinPath("kvsc"), {"start", kService});
        ASSERT_EQ(started.exitCode, 0) << started.out << started.err;
        ASSERT_TRUE(WaitFor([&] { return Query().find("RUNNING") != std::string::npos; })) << Query();
    }
    std::string Query() { return RunProgram(kvtest::BinPath("kvsc"), {"query", kService}).out; }
    void Launch() { ASSERT_EQ(RunProgram(kvtest::BinPath("KvLaunch"), {"1"}).exitCode, 0); }
    kvtest::ProcessResult Wait(const std::string& seconds = "120") {
        return RunProgram(kvtest::BinPath("kvwait"), {"--timeout", seconds});
    }
    void FillSampleWithManyFiles() {
        // A few thousand files at the walk's own pace take many seconds.
        for (int folder = 0; folder < 10; ++folder) {
            std::string path = "Sample/F" + std::to_string(folder);
            fs::create_directories(root.DriveC() + "/" + path);
            for (int file = 0; file < 300; ++file) Write(path + "/f" + std::to_string(file) + ".txt", "x");
        }
    }
    bool CheckBegun() {
        auto records = kv::platform::ReadCheckOutcomes();
        return !records.empty() && !records.back().end;
    }

    kvtest::TestRoot root;
    std::string program;
};

TEST_F(CheckWait, ReportsTheBaselineAndThenTheChanges) {
    root.SetDword("WALKDELAY", 0);
    root.SetDword("MATCHDELAY", 0);
    // Times an hour back, so that the folders the changes touch differ
    // from the baseline whatever second the changes fall in.
    auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : fs::recursive_directory_iterator(root.DriveC() + "/Sample"))
        fs::last_write_time(entry.path(), past);
    fs::last_write_time(root.DriveC() + "/Sample", past);
    StartService();

    Launch();
    auto first = Wait();
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    // C:\Sample\, Reports\ and three files.
    EXPECT_NE(first.out.find("job 1: 5 items, 0 added, 0 changed, 0 removed, result 0x00000000 (ended normally)"),
              std::string::npos)
        << first.out;

    Write("Sample/Reports/q1.txt", "quarterly figures, revised\n");
    Write("Sample/Reports/q3.txt", "a new file\n");
    fs::remove(root.DriveC() + "/Sample/notes.txt");
    Launch();
    auto second = Wait();
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    // q1.txt, and the two folders whose entries came and went.
    EXPECT_NE(second.out.find("job 1: 5 items, 1 added, 3 changed, 1 removed, result 0x00000000"), std::string::npos)
        << second.out;
    // Only the check it waited for.
    EXPECT_EQ(second.out.find("0 added"), std::string::npos) << second.out;

    // Nothing requested: the latest check again, at once.
    auto again = Wait();
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.out.find("1 added, 3 changed, 1 removed"), std::string::npos) << again.out;
}

TEST_F(CheckWait, BeforeAnyCheckThereIsNothingToWaitFor) {
    StartService();
    auto result = Wait("30");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "No check has run.\n");
}

TEST_F(CheckWait, ARequestWithoutARunningServiceIsNotWaitedForInVain) {
    Launch();
    auto result = Wait("30");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("agent service is not running"), std::string::npos) << result.err;
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);  // kvwait only looks
}

TEST_F(CheckWait, AStoppedCheckIsNotANormalEnd) {
    FillSampleWithManyFiles();
    StartService();
    Launch();
    ASSERT_TRUE(WaitFor([&] { return CheckBegun(); }));
    ASSERT_EQ(RunProgram(kvtest::BinPath("kvsc"), {"stop", kService}).exitCode, 0);
    auto result = Wait();
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("stopped by a service stop"), std::string::npos) << result.out;
}

TEST_F(CheckWait, ACheckWhoseServiceWasKilledIsCutOff) {
    FillSampleWithManyFiles();
    StartService();
    Launch();
    ASSERT_TRUE(WaitFor([&] { return CheckBegun(); }));
    long pid = kv::platform::ReadCheckOutcomes().back().processId;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] { return !kv::platform::ProcessAlive(pid); }));
    auto result = Wait();
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("cut off"), std::string::npos) << result.out;
}

TEST_F(CheckWait, TheRecordIsReadableByItsOwnerOnly) {
    root.SetDword("WALKDELAY", 0);
    root.SetDword("MATCHDELAY", 0);
    StartService();
    Launch();
    ASSERT_EQ(Wait().exitCode, 0);
    auto file = fs::status(kv::platform::CheckOutcomeFile()).permissions();
    auto folder = fs::status(root.Path() + "/checks").permissions();
    EXPECT_EQ(file & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
    EXPECT_EQ(folder & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}

}  // namespace
