#include <gtest/gtest.h>

#include <filesystem>

#include "console/data/ConsoleData.h"
#include "console/data/Links.h"
#include "console/data/Profiles.h"
#include "platform/fs/Attributes.h"
#include "platform/win/LastError.h"
#include "tests/console/ConsoleFixture.h"

namespace {

namespace fs = std::filesystem;

class Links : public ::testing::Test {
protected:
    void AddRow(int id, const std::string& path, const char* flag) {
        std::string quoted;
        for (char c : path) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (" + std::to_string(id) +
                      ", '" + quoted + "', '" + PathFingerprint(path) + "', " + flag + ")");
    }
    std::string Count(const std::string& path) {
        std::string quoted;
        for (char c : path) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        return f.db->Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PATH = '" + quoted + "'");
    }

    kvtest::ConsoleFixture f;
    CConsoleData data;
};

TEST_F(Links, CacheKeepsExistingAndUnreachablePathsAndDropsVanishedRows) {
    fs::create_directories(f.root.DriveC() + "/Data/Keep");
    kvtest::WriteTextFile(f.root.DriveC() + "/Data/Keep/a.txt", "x");
    // Drive E: is mapped to a folder that is not there: not ready, not gone.
    f.root.MapDrive('e', f.root.Path() + "/unplugged");
    f.db->Execute("DELETE FROM FILES_PROFILES_LNK");
    AddRow(2, "C:\\Data\\Keep\\", "0");
    AddRow(3, "C:\\Data\\Keep\\a.txt", "0");
    AddRow(2, "C:\\Data\\Gone\\", "0");
    AddRow(2, "C:\\Data\\Keep\\Bob's gone.txt", "0");
    AddRow(4, "E:\\Archive\\", "0");
    AddRow(2, "C:\\Data\\Follows\\", "1");

    // The file system tells a drive that is not ready from a missing path.
    EXPECT_EQ(GetFileAttributesA("E:\\Archive\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(GetFileAttributesA("C:\\Data\\Gone\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    std::vector<std::pair<std::string, LONG>> cache;
    for (const CLinkEntry& e : data.m_links) cache.push_back({e.path, e.id});
    EXPECT_EQ(cache, (std::vector<std::pair<std::string, LONG>>{
                         {"c:\\data\\keep\\", 2}, {"c:\\data\\keep\\a.txt", 3}, {"e:\\archive\\", 4}}));
    EXPECT_EQ(Count("C:\\Data\\Gone\\"), "0");
    EXPECT_EQ(Count("C:\\Data\\Keep\\Bob's gone.txt"), "0");
    EXPECT_EQ(Count("E:\\Archive\\"), "1");
    EXPECT_EQ(Count("C:\\Data\\Follows\\"), "1");  // rows that follow their folder are not the console's
    EXPECT_EQ(Count("C:\\Data\\Keep\\"), "1");
    EXPECT_EQ(f.LogCount("Error in InitFileProfLnk"), 0u);
    EXPECT_TRUE(f.LogHolds("1. InitFileProfLnk"));
    EXPECT_TRUE(f.LogHolds("21"));  // the not-ready error of drive E:
    EXPECT_TRUE(f.LogHolds("Finished getting the link items..."));

    EXPECT_TRUE(IsProfileInUse(data, 4));
    EXPECT_TRUE(IsProfileInUse(data, 3));
    EXPECT_FALSE(IsProfileInUse(data, 1));
}

TEST_F(Links, ExceptionCountsLookStrictlyBelowTheFolder) {
    f.db->Execute("DELETE FROM FILES_PROFILES_LNK");
    AddRow(1, "C:\\Bob's\\", "0");
    AddRow(0, "C:\\Bob's\\a\\", "0");
    AddRow(1, "C:\\Bob's\\b\\", "1");
    AddRow(2, "C:\\Bob's\\c.txt", "0");
    AddRow(0, "C:\\Bobs\\d\\", "0");
    EXPECT_EQ(CountExceptions(data, "C:\\Bob's\\", ExceptionCount::Tree), 2);
    EXPECT_EQ(CountExceptions(data, "C:\\Bob's\\", ExceptionCount::Page), 2);
    // A flag other than 0 and 1 is no explicit setting for the tree, yet the page lists it.
    f.db->Execute("UPDATE FILES_PROFILES_LNK SET FLAG = 2 WHERE PATH = 'C:\\Bob''s\\c.txt'");
    EXPECT_EQ(CountExceptions(data, "C:\\Bob's\\", ExceptionCount::Tree), 1);
    EXPECT_EQ(CountExceptions(data, "C:\\Bob's\\", ExceptionCount::Page), 2);
    EXPECT_EQ(CountExceptions(data, "C:\\Nothing\\", ExceptionCount::Tree), 0);
}

TEST_F(Links, PathFingerprintIsTheMd5OfThePathBytes) {
    EXPECT_EQ(PathFingerprint("C:\\"), "2f158c4731d76d5975b8546d85de1b34");
    EXPECT_EQ(PathFingerprint(""), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
