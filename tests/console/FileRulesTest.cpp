#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "console/tree/FileRules.h"
#include "tests/console/ConsoleFixture.h"

namespace {

namespace fs = std::filesystem;

TEST(FileRules, EffectiveScanJobIsTheNearestExplicitRow) {
    CConsoleData data;
    data.m_links = {{"c:\\", 1}, {"c:\\data\\", 0}, {"c:\\data\\keep\\a.txt", 3}, {"d:\\x", 4}};
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Data\\Keep\\A.TXT"), 3);
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Data\\Keep\\b.txt"), 0);
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Other\\deep\\er\\"), 1);
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\"), 1);
    EXPECT_EQ(GetEffectiveProfile(data, "c:"), 1);
    // A drive without a row of its own belongs to no scan job, and a row
    // without the trailing backslash is no folder's row.
    EXPECT_EQ(GetEffectiveProfile(data, "D:\\x\\y.txt"), 0);
    EXPECT_EQ(GetEffectiveProfile(data, "E:\\"), 0);
    EXPECT_EQ(GetEffectiveProfile(data, "nothing"), 0);
}

TEST(FileRules, ExtensionListHidesByTheLastDot) {
    const std::string list = "*.TMP,*.LOG";
    EXPECT_TRUE(IsExcludedName("a.log", list));
    EXPECT_TRUE(IsExcludedName("a.Log", list));
    EXPECT_TRUE(IsExcludedName("backup.tmp", list));
    EXPECT_TRUE(IsExcludedName("x.log.tmp", list));
    EXPECT_FALSE(IsExcludedName("a.logs", list));
    EXPECT_FALSE(IsExcludedName("a.lo", list));
    EXPECT_FALSE(IsExcludedName("a.log", "*.XLOG,*.TMP"));
    EXPECT_FALSE(IsExcludedName("README", list));
    EXPECT_TRUE(IsExcludedName("README", list + ",*.VOID"));
    EXPECT_TRUE(IsExcludedName("README", "*.VOID,*.TMP"));
    EXPECT_TRUE(IsExcludedName("anything.txt", "*.*"));
    EXPECT_FALSE(IsExcludedName("a.log", ""));
    EXPECT_FALSE(IsExcludedName("a.LOG", "*.LOGS"));
}

TEST(FileRules, ListingSkipsDotsHiddenNamesAndBackslashNames) {
    kvtest::ConsoleFixture f;
    const std::string base = f.root.DriveC() + "/walk";
    fs::create_directories(base + "/backup.tmp");
    fs::create_directories(base + "/sub");
    for (const char* name : {"a.log", "a.logs", "plain", "odd\\name.txt"})
        kvtest::WriteTextFile(base + "/" + name, "x");
    std::set<std::string> seen;
    ASSERT_TRUE(ListFolder("C:\\walk\\", [&](const WIN32_FIND_DATAA& d) { seen.insert(d.cFileName); }, false));
    EXPECT_EQ(seen, (std::set<std::string>{"backup.tmp", "sub", "a.log", "a.logs", "plain"}));
    EXPECT_FALSE(ListFolder("C:\\missing\\", [](const WIN32_FIND_DATAA&) {}));
}

TEST(FileRules, AMountPointOfAnotherFileSystemIsNeverListed) {
    kvtest::ConsoleFixture f;
    f.root.MapDrive('q', "/");
    bool rootHasProc = false;
    ASSERT_TRUE(ListFolder("Q:\\", [&](const WIN32_FIND_DATAA& d) { rootHasProc |= std::string(d.cFileName) == "proc"; }));
    EXPECT_TRUE(rootHasProc);
    size_t inside = 0;
    EXPECT_FALSE(ListFolder("Q:\\proc\\", [&](const WIN32_FIND_DATAA&) { ++inside; }));
    EXPECT_EQ(inside, 0u);
}

}  // namespace
