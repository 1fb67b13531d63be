// The installation script: an installation outlives the tree it was made
// from, a package's installation links the package's programs, and asking
// for help makes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/fixtures/TestDatabase.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunProgram;

const std::string kScript = std::string(KV_SOURCE_DIR) + "/scripts/install.sh";
const char* const kConfig = "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config";

TEST(InstallScript, AnInstallationOutlivesTheTreeItWasMadeFrom) {
    kvtest::TestRoot root;
    // A copy of the build, standing for a clone that is rebuilt or deleted.
    const std::string clone = root.Path() + "/clone";
    fs::copy(KV_BIN_DIR, clone, fs::copy_options::recursive);
    auto install = RunProgram(kScript, {"--root", root.Path(), "--from", clone, "--drive-c", root.DriveC()});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    fs::remove_all(clone);
    const std::string program = root.Path() + "/Tsl3";
    EXPECT_FALSE(fs::is_symlink(program + "/KvAgent"));
    auto query = RunProgram(program + "/kvreg", {"query", kConfig, "/v", "DATAPATH"});
    EXPECT_EQ(query.exitCode, 0) << query.err;
    EXPECT_NE(query.out.find("\\Tsl3\\Data"), std::string::npos) << query.out;
    auto service = RunProgram(program + "/KvAgent", {"/service", "/nm"});
    EXPECT_EQ(service.exitCode, 0) << service.err;
}

TEST(InstallScript, ARepeatedInstallationKeepsSettingsAndRefreshesPrograms) {
    kvtest::TestRoot root;
    const std::string source = root.Path() + "/source";
    fs::copy(KV_BIN_DIR, source, fs::copy_options::recursive);
    ASSERT_EQ(RunProgram(kScript, {"--root", root.Path(), "--from", source}).exitCode, 0);
    root.SetDword("DEBUGLEVEL", 2);
    // A new build of one program: the installation takes it, the settings stay.
    fs::remove(source + "/kvevent");
    fs::copy_file(kvtest::BinPath("kvsc"), source + "/kvevent");
    auto again = RunProgram(kScript, {"--root", root.Path(), "--from", source});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(root.GetDword("DEBUGLEVEL"), 2u);
    EXPECT_EQ(fs::file_size(root.Path() + "/Tsl3/kvevent"), fs::file_size(kvtest::BinPath("kvsc")));
}

// A database made before the baseline's job index covered the path key gets
// the new index on the next installation, keeps its rows, and a further
// installation changes nothing.
TEST(InstallScript, AnEarlierDatabaseGetsTheIndexesOfThisOne) {
    kvtest::TestRoot root;
    kvtest::TestDatabase db(root);
    db.Execute("DROP INDEX OLD_DATA_PROFILE_ID_PATH_MD5; CREATE INDEX OLD_DATA_PROFILE_ID ON OLD_DATA (PROFILE_ID); "
               "INSERT INTO OLD_DATA (ITEM_ID, PATH, PATH_MD5, PROFILE_ID) VALUES (7, 'C:\\kept.txt', 'ab', 1)");
    const std::string indexes = "SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_master "
                                "WHERE type = 'index' AND tbl_name = 'OLD_DATA' ORDER BY name)";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto install = RunProgram(kScript, {"--root", root.Path(), "--from", KV_BIN_DIR});
        ASSERT_EQ(install.exitCode, 0) << install.err;
        EXPECT_EQ(db.Scalar(indexes), "OLD_DATA_PATH_MD5,OLD_DATA_PROFILE_ID_PATH_MD5");
        EXPECT_EQ(db.Scalar("SELECT PATH FROM OLD_DATA WHERE ITEM_ID = 7"), "C:\\kept.txt");
        auto perms = fs::status(db.DatabaseFile()).permissions();
        EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
    }
}

TEST(InstallScript, LinksForAPackagesProgramFolder) {
    kvtest::TestRoot root;
    auto install = RunProgram(kScript, {"--root", root.Path(), "--from", KV_BIN_DIR, "--link"});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    const std::string agent = root.Path() + "/Tsl3/KvAgent";
    ASSERT_TRUE(fs::is_symlink(agent));
    EXPECT_EQ(fs::read_symlink(agent), fs::path(KV_BIN_DIR) / "KvAgent");
    EXPECT_TRUE(fs::is_directory(root.Path() + "/Tsl3/Data"));
    EXPECT_FALSE(fs::is_symlink(root.Path() + "/Tsl3/Data"));
    // The record of the checks is root's alone.
    auto perms = fs::status(root.Path() + "/checks").permissions();
    EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}

TEST(InstallScript, HelpAndBadArgumentsMakeNothing) {
    kvtest::TestRoot parent;
    const std::string missing = parent.Path() + "/machine";
    auto help = RunProgram(kScript, {"--help"}, {"KESTRAVA_ROOT=" + missing});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: install.sh"), std::string::npos) << help.out;
    auto bad = RunProgram(kScript, {"--bogus"}, {"KESTRAVA_ROOT=" + missing});
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_NE(bad.err.find("--bogus"), std::string::npos) << bad.err;
    auto noBuild = RunProgram(kScript, {"--from", parent.Path() + "/nothing"}, {"KESTRAVA_ROOT=" + missing});
    EXPECT_NE(noBuild.exitCode, 0);
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
