// Every program that builds into the program folder answers a help request
// with its usage and exit 0 without touching the machine, and a program
// pointed at a root that does not exist says so and makes nothing. The
// programs are found in the folder, so a new one is held to this at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunProgram;

std::vector<std::string> Programs() {
    std::vector<std::string> programs;
    for (const auto& entry : fs::directory_iterator(KV_BIN_DIR)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.ends_with(".so")) continue;
        if (::access(entry.path().c_str(), X_OK) == 0) programs.push_back(name);
    }
    return programs;
}

// Every entry under a folder with its kind, size and modification time.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        entries[entry.path().string()] = std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
                                         std::to_string(info.st_mtim.tv_sec) + "." +
                                         std::to_string(info.st_mtim.tv_nsec);
    }
    return entries;
}

// The entries added, removed or changed between two snapshots, one a line.
std::string Changes(const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after) {
    std::string changes;
    for (const auto& [path, state] : after) {
        auto old = before.find(path);
        if (old == before.end()) changes += "added " + path + "\n";
        else if (old->second != state) changes += "changed " + path + "\n";
    }
    for (const auto& [path, state] : before)
        if (!after.contains(path)) changes += "removed " + path + "\n";
    return changes;
}

// The launcher's own command-line work brings its help; until then a help
// request is a job number to it.
bool ShowsUsage(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text.find("usage") != std::string::npos;
}

TEST(ProgramHelp, TheProgramFolderHoldsTheOperatorPrograms) {
    std::vector<std::string> programs = Programs();
    for (const char* expected : {"KvAgent", "KvLaunch", "kvreg", "kvsc", "kvevent", "kvwait"})
        EXPECT_NE(std::find(programs.begin(), programs.end(), expected), programs.end()) << expected;
}

TEST(ProgramHelp, EveryProgramAnswersHelpWithoutTouchingAnInstalledRoot) {
    kvtest::TestRoot root;
    auto install = RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {},
                              {"KESTRAVA_BIN=" + kvtest::BinPath(""), "KESTRAVA_DRIVE_C=" + root.DriveC()});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    // A pending request and a queue, so that a program that took the help
    // switch for work would show it.
    root.SetDword("STARTNOW", 0);
    root.SetString("SPROFILES", "");
    auto before = Snapshot(root.Path());
    for (const std::string& program : Programs()) {
        for (const char* help : {"--help", "/?"}) {
            SCOPED_TRACE(program + " " + help);
            auto result = RunProgram(kvtest::BinPath(program), {help});
            EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
            EXPECT_TRUE(ShowsUsage(result.out)) << result.out;
            EXPECT_EQ(Changes(before, Snapshot(root.Path())), "");
        }
    }
}

TEST(ProgramHelp, LookingLeavesAnInstalledRootAsItWas) {
    kvtest::TestRoot root;
    auto install = RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {},
                              {"KESTRAVA_BIN=" + kvtest::BinPath(""), "KESTRAVA_DRIVE_C=" + root.DriveC()});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    const auto before = Snapshot(root.Path());
    const std::vector<std::pair<std::string, std::vector<std::string>>> looks = {
        {"KvAgent", {}},  // the notice: is the service installed?
        {"kvreg", {"query", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config"}},
        {"kvsc", {"query", "Kestrava Selvane Tessellon 3 agent service"}},
        {"kvevent", {}},
        {"kvwait", {"--timeout", "10"}},
        {"kvschtasks", {}},
    };
    for (const auto& [program, args] : looks) {
        SCOPED_TRACE(program);
        RunProgram(kvtest::BinPath(program), args);
        EXPECT_EQ(Changes(before, Snapshot(root.Path())), "");
    }
}

TEST(ProgramHelp, NoProgramMakesAMissingRoot) {
    kvtest::TestRoot parent;
    const std::string missing = parent.Path() + "/nowhere";
    for (const std::string& program : Programs()) {
        SCOPED_TRACE(program);
        // Help needs no root at all.
        auto help = RunProgram(kvtest::BinPath(program), {"--help"}, {"KESTRAVA_ROOT=" + missing});
        EXPECT_EQ(help.exitCode, 0) << help.err;
        EXPECT_FALSE(fs::exists(missing));
    }
    // Work on a missing root is refused with its name, and nothing is made.
    const std::vector<std::pair<std::string, std::vector<std::string>>> work = {
        {"kvreg", {"query", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config"}},
        {"kvreg", {"add", "HKLM\\SOFTWARE\\X", "/v", "A", "/d", "b", "/f"}},
        {"kvsc", {"query", "Kestrava Selvane Tessellon 3 agent service"}},
        {"kvevent", {}},
        {"kvwait", {"--timeout", "1"}},
        {"KvLaunch", {"1"}},
        {"KvAgent", {}},
        {"KvAgent", {"/service", "/nm"}},
        {"kvschedule", {}},
        {"kvschtasks", {}},
    };
    for (const auto& [program, args] : work) {
        SCOPED_TRACE(program);
        auto result = RunProgram(kvtest::BinPath(program), args, {"KESTRAVA_ROOT=" + missing});
        EXPECT_NE(result.exitCode, 0);
        EXPECT_NE(result.err.find(missing + " does not exist"), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(missing));
    }
}

TEST(ProgramHelp, AHelpWordLaterOnTheLineIsData) {
    kvtest::TestRoot root;
    root.CreateSettingsKey();
    auto added = RunProgram(kvtest::BinPath("kvreg"),
                            {"add", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config", "/v", "NOTE", "/d", "--help", "/f"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(root.GetString("NOTE"), "--help");
}

}  // namespace
