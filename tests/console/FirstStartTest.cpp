#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/Settings.h"
#include "console/data/ConsoleData.h"
#include "console/data/Links.h"
#include "console/settings/ExtensionList.h"
#include "console/snapin/Startup.h"
#include "console/tree/DefaultState.h"
#include "tests/console/ConsoleFixture.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

// A second fixed drive, on the build's own disk: a folder on a RAM disk
// would not count as a fixed drive.
class DriveFolder {
public:
    DriveFolder() : m_path(std::string(KV_BIN_DIR) + "/../tests/drive." + std::to_string(::getpid())) {
        fs::create_directories(m_path);
    }
    ~DriveFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void Touch(const std::string& path) { kvtest::WriteTextFile(path, "x"); }

class FirstStart : public ::testing::Test {
protected:
    void MakeLayout() {
        const std::string c = f.root.DriveC();
        for (const char* folder : {"usr/bin", "usr/lib", "usr/share", "etc", "var"}) fs::create_directories(c + "/" + folder);
        Touch(c + "/pagefile.sys");
        Touch(c + "/notes.log");
        Touch(c + "/usr/bin/tool");
        Touch(c + "/usr/bin/run.sh");
        Touch(c + "/usr/bin/readme.txt");
        f.root.MapDrive('d', d.Path());
    }
    Rows Links() {
        Rows rows = f.db->Query("SELECT PATH, PROFILE_ID, PATH_MD5, FLAG FROM FILES_PROFILES_LNK");
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static std::vector<std::string> Row(const std::string& path, const char* id) {
        return {path, id, PathFingerprint(path), "0"};
    }

    kvtest::ConsoleFixture f;
    DriveFolder d;
    CConsoleData data;
};

TEST_F(FirstStart, DefaultsCoverTheSystemDriveWithItsProgramFoldersAndExcludeTheRest) {
    MakeLayout();
    f.root.SetDword("FirstStart", 1);
    kvtest::WriteTextFile(f.db->DataFolder() + "/ExtExcluded.dat", "OLD\r\n");
    ASSERT_TRUE(OpenConsoleDatabase(data));
    ApplyFirstStartDefaults(data);
    LoadConsoleLists(data);

    Rows expected = {Row("C:\\", "1"),          Row("C:\\etc\\", "0"),        Row("C:\\pagefile.sys", "0"),
                     Row("C:\\usr\\lib\\", "0"), Row("C:\\usr\\share\\", "0"), Row("C:\\var\\", "0"),
                     Row("D:\\", "0")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Links(), expected);
    EXPECT_EQ(kvtest::ReadTextFile(f.db->DataFolder() + "/ExtExcluded.dat"), "LOG\r\nTXT\r\n");
    EXPECT_EQ(g_strExtList, "*.LOG,*.TXT");
    EXPECT_EQ(f.root.GetDword("FirstStart"), 0u);
    EXPECT_EQ(g_dwFirstStart, 0u);
    EXPECT_TRUE(f.LogHolds(" >> GetDefaultSettingsFromRegistry"));
    EXPECT_TRUE(f.LogHolds(" << GetDefaultSettingsFromRegistry"));

    // The second start writes nothing.
    f.db->Execute("DELETE FROM FILES_PROFILES_LNK WHERE PATH = 'D:\\'");
    kvtest::WriteTextFile(f.db->DataFolder() + "/ExtExcluded.dat", "DOC\r\n");
    CConsoleData again;
    ASSERT_TRUE(OpenConsoleDatabase(again));
    ApplyFirstStartDefaults(again);
    LoadConsoleLists(again);
    EXPECT_EQ(Links().size(), expected.size() - 1);
    EXPECT_EQ(kvtest::ReadTextFile(f.db->DataFolder() + "/ExtExcluded.dat"), "DOC\r\n");
    EXPECT_EQ(g_strExtList, "*.DOC");
}

TEST_F(FirstStart, FoldersComeFromTheSettingsTheInstallationWrites) {
    const std::string c = f.root.DriveC();
    fs::create_directories(c + "/opt/app/bin");
    fs::create_directories(c + "/opt/app/data");
    fs::create_directories(c + "/opt/app/bin/plugins");
    fs::create_directories(c + "/home");
    Touch(c + "/opt/app/bin/x.dat");
    ASSERT_EQ(kvtest::RunProgram(kvtest::BinPath("kvreg"), {"add", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                                             "/v", "SystemRoot", "/d", "C:\\opt\\app\\", "/f"})
                  .exitCode,
              0);
    ASSERT_EQ(kvtest::RunProgram(kvtest::BinPath("kvreg"), {"add", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                                             "/v", "SystemDirectory", "/d", "C:\\opt\\app\\bin", "/f"})
                  .exitCode,
              0);
    ASSERT_TRUE(OpenConsoleDatabase(data));
    SetDefaultState(data);
    Rows expected = {Row("C:\\", "1"), Row("C:\\home\\", "0"), Row("C:\\opt\\app\\data\\", "0"),
                     Row("C:\\opt\\app\\bin\\plugins\\", "0"), Row("C:\\pagefile.sys", "0")};
    std::sort(expected.begin(), expected.end());
    // C:\opt\ is a top-level folder; only the Windows folder's own row goes.
    expected.push_back(Row("C:\\opt\\", "0"));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Links(), expected);
    EXPECT_EQ(kvtest::ReadTextFile(f.db->DataFolder() + "/ExtExcluded.dat"), "DAT\r\n");
}

TEST(CollectedExtensions, NamesWithoutDotAndTypesThisSystemRunsAddNothing) {
    std::string list;
    for (const char* name : {"ls", "[", "Makefile", "run.sh", "tool.PY", "x.pl", "gem.rb", "libc.so", "mod.ko",
                             "setup.exe", "a.SYS", "page.bak~", "archive.tar.gz", "trailing.", "long.backup"})
        CollectExtension(name, list);
    EXPECT_EQ(list, "*.GZ");
    CollectExtension("a.log", list);
    CollectExtension("B.LOG", list);
    CollectExtension("c.gz", list);
    CollectExtension("d.Txt", list);
    EXPECT_EQ(list, "*.GZ,*.LOG,*.TXT");
}

class ExtensionFile : public ::testing::Test {
protected:
    kvtest::ConsoleFixture f;
};

TEST_F(ExtensionFile, ReadsLinesUpperCasedAndWritesThemBack) {
    const std::string file = f.db->DataFolder() + "/ExtExcluded.dat";
    fs::remove(file);
    g_strExtList = "junk";
    GetExtensionList();
    EXPECT_EQ(g_strExtList, "");
    kvtest::WriteTextFile(file, "tmp\r\nlog\r\n");
    GetExtensionList();
    EXPECT_EQ(g_strExtList, "*.TMP,*.LOG");
    kvtest::WriteTextFile(file, "doc\nVOID");
    GetExtensionList();
    EXPECT_EQ(g_strExtList, "*.DOC,*.VOID");
    g_strExtList = "*.A,*.BB";
    SaveExtensionList();
    EXPECT_EQ(kvtest::ReadTextFile(file), "A\r\nBB\r\n");
    g_strExtList.clear();
    SaveExtensionList();
    EXPECT_EQ(kvtest::ReadTextFile(file), "");
    EXPECT_EQ(f.LogCount("GetExtensionList - unexpected error"), 0u);

    // Without a data folder nothing is read or written anywhere else.
    f.root.SetString("DATAPATH", "");
    f.RefreshSettings();
    g_strExtList = "*.A";
    SaveExtensionList();
    EXPECT_EQ(f.LogCount("SaveExtensionList - unexpected error"), 1u);
    GetExtensionList();
    EXPECT_EQ(g_strExtList, "");
    EXPECT_EQ(kvtest::ReadTextFile(file), "");
}

}  // namespace
