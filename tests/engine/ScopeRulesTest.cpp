#include <gtest/gtest.h>

#include "engine/scope/ExtensionRules.h"
#include "engine/scope/ScopeRules.h"
#include "tests/fixtures/EngineLog.h"

namespace {

ScanItem Item(const std::string& path) {
    ScanItem item;
    item.drive = path.substr(0, 1);
    std::string rest = path.substr(3);
    if (rest.empty()) {
        item.type = "ftDrive";
    } else if (rest.back() == '\\') {
        item.type = "ftDir";
        item.folder = rest.substr(0, rest.size() - 1);
    } else {
        item.type = "ftFile";
        size_t slash = rest.rfind('\\');
        item.folder = slash == std::string::npos ? "" : rest.substr(0, slash);
        item.name = slash == std::string::npos ? rest : rest.substr(slash + 1);
    }
    return item;
}

class ScopeRules : public ::testing::Test {
protected:
    void SetUp() override {
        g_dwMatchDelay = 0;
        g_cList.clear();
        g_oList.clear();
        g_excludedExtensions.clear();
        g_oldExcludedExtensions.clear();
    }
    kvtest::TestRoot root;
    kvtest::EngineLog log{root, 7};
};

TEST_F(ScopeRules, ItemPathsHaveTheirThreeForms) {
    EXPECT_EQ(ItemPath(Item("C:\\")), "C:\\");
    EXPECT_EQ(ItemPath(Item("C:\\WINNT\\SYSTEM32\\")), "C:\\WINNT\\SYSTEM32\\");
    EXPECT_EQ(ItemPath(Item("C:\\WINNT\\NOTEPAD.EXE")), "C:\\WINNT\\NOTEPAD.EXE");
    EXPECT_EQ(ItemPath(Item("C:\\BOOT.INI")), "C:\\BOOT.INI");
}

TEST_F(ScopeRules, AWholeDriveOfTheJob) {
    g_cList = {"C:\\"};
    g_excludedExtensions = {"TMP"};
    EXPECT_EQ(ClassifyItem(Item("C:\\"), -1), SCOPE_IN_JOB);
    EXPECT_EQ(ClassifyItem(Item("C:\\WINNT\\"), 1), SCOPE_IN_JOB);
    EXPECT_EQ(ClassifyItem(Item("C:\\WINNT\\x.dll"), 1), SCOPE_IN_JOB);
    EXPECT_EQ(ClassifyItem(Item("C:\\WINNT\\x.tmp"), 1), SCOPE_EXCLUDED);
    EXPECT_EQ(ClassifyItem(Item("D:\\"), -1), SCOPE_EXCLUDED);
    EXPECT_TRUE(log.Holds("ITEM NOT FOUND IN ANY PROFILE AND IT IS EXCLUDED"));
    EXPECT_TRUE(log.Holds("Item C:\\WINNT\\x.tmp IS EXT EXCLUDED"));
}

TEST_F(ScopeRules, AFolderOfTheJobBelowAnotherJobsDrive) {
    g_cList = {"C:\\DATA\\REPORTS\\"};
    g_oList = {"C:\\"};
    EXPECT_EQ(ClassifyItem(Item("C:\\"), -1), SCOPE_LEADS_TO_JOB);
    EXPECT_TRUE(log.Holds("Item C:\\ IS IN O-R PROF"));
    EXPECT_EQ(ClassifyItem(Item("C:\\DATA\\"), 0), SCOPE_LEADS_TO_JOB);
    EXPECT_TRUE(log.Holds("Item C:\\DATA\\ IS IN O-R PROF 2"));
    EXPECT_EQ(ClassifyItem(Item("C:\\DATA\\NOTES.TXT"), 0), SCOPE_OUTSIDE);
    EXPECT_TRUE(log.Holds("Item C:\\DATA\\NOTES.TXT IS IN O PROF 2"));
    EXPECT_EQ(ClassifyItem(Item("C:\\DATA\\reports\\"), 0), SCOPE_IN_JOB);
    EXPECT_TRUE(log.Holds("Item C:\\DATA\\reports\\ IS IN C PROF"));
    EXPECT_EQ(ClassifyItem(Item("C:\\DATA\\REPORTS\\Q1.XLS"), 1), SCOPE_IN_JOB);
    EXPECT_EQ(ClassifyItem(Item("C:\\OTHER\\"), 0), SCOPE_OUTSIDE);
}

TEST_F(ScopeRules, AnotherJobsFolderInsideTheJobsDrive) {
    g_cList = {"C:\\"};
    g_oList = {"C:\\TEMP\\"};
    EXPECT_EQ(ClassifyItem(Item("C:\\TEMP\\"), 1), SCOPE_OUTSIDE);
    EXPECT_TRUE(log.Holds("Item C:\\TEMP\\ IS IN O PROF 1"));
    g_oList = {"C:\\TEMP\\A.TXT"};
    EXPECT_EQ(ClassifyItem(Item("C:\\TEMP\\a.txt"), 1), SCOPE_OUTSIDE);
    EXPECT_TRUE(log.Holds("Item C:\\TEMP\\a.txt IS IN O PROF"));
}

TEST_F(ScopeRules, TheExtensionRuleBeatsAnExplicitRow) {
    g_cList = {"C:\\DATA\\SETUP.EXE"};
    g_excludedExtensions = {"EXE"};
    EXPECT_EQ(ClassifyItem(Item("C:\\DATA\\SETUP.EXE"), 0), SCOPE_EXCLUDED);
    // Folders have no extension rule.
    g_cList = {"C:\\OLD.EXE\\"};
    EXPECT_EQ(ClassifyItem(Item("C:\\OLD.EXE\\"), 0), SCOPE_IN_JOB);
}

TEST_F(ScopeRules, FilesWithoutADotAndTheEmptyExtension) {
    std::string file = root.DriveC() + "/ExtExcluded.dat";
    kvtest::WriteTextFile(file, "exe\r\n\r\n");
    LoadExtensionFile("C:\\ExtExcluded.dat", g_excludedExtensions, false);
    EXPECT_EQ(g_excludedExtensions, (TextList{"EXE", ""}));
    g_cList = {"C:\\"};
    EXPECT_EQ(ClassifyItem(Item("C:\\X.EXE"), 1), SCOPE_EXCLUDED);
    EXPECT_EQ(ClassifyItem(Item("C:\\README"), 1), SCOPE_EXCLUDED);
    EXPECT_EQ(ClassifyItem(Item("C:\\X.EXE.BAK"), 1), SCOPE_IN_JOB);
    // The last dot of the whole path counts, not of the name alone.
    EXPECT_EQ(ExtensionOf("C:\\OLD.DIR\\README"), "DIR\\README");
    EXPECT_EQ(ExtensionOf("c:\\a.b.tar.gz"), "GZ");
}

TEST_F(ScopeRules, ExtensionFilesOfEveryShape) {
    std::string file = root.DriveC() + "/ExtExcluded.dat";
    kvtest::WriteTextFile(file, "tmp\nLog \r\nbak");
    LoadExtensionFile("C:\\ExtExcluded.dat", g_excludedExtensions, false);
    EXPECT_EQ(g_excludedExtensions, (TextList{"TMP", "LOG ", "BAK"}));
    kvtest::WriteTextFile(file, "TMP\nZIP\n");
    LoadExtensionFile("C:\\ExtExcluded.dat", g_excludedExtensions, true);
    EXPECT_EQ(g_excludedExtensions, (TextList{"TMP", "LOG ", "BAK", "ZIP"}));
    // Missing: an empty list, silently.
    LoadExtensionFile("C:\\missing.dat", g_excludedExtensions, false);
    EXPECT_TRUE(g_excludedExtensions.empty());
    EXPECT_FALSE(log.Holds("Error while reading the excluded items from C:\\missing.dat"));
    // Binary: the lines before the first NUL byte, and a message.
    kvtest::WriteTextFile(file, std::string("EXE\nD\0\0\n\nXYZ\n", 12));
    LoadExtensionFile("C:\\ExtExcluded.dat", g_excludedExtensions, false);
    EXPECT_EQ(g_excludedExtensions, (TextList{"EXE"}));
    EXPECT_TRUE(log.Holds("Error while reading the excluded items from C:\\ExtExcluded.dat"));
}

TEST_F(ScopeRules, ExtensionLinesThatCannotBeExtensionsAreIgnored) {
    std::string file = root.DriveC() + "/ExtExcluded.dat";
    // "BAK;TXT" would come back from the old list as BAK and TXT, hiding
    // every later change of a .txt file.
    kvtest::WriteTextFile(file, "BAK;TXT\r\nexe\r\nT\tB\n\x1b[2J\nlog\n");
    LoadExtensionFile("C:\\ExtExcluded.dat", g_excludedExtensions, false);
    EXPECT_EQ(g_excludedExtensions, (TextList{"EXE", "LOG"}));
    EXPECT_EQ(FormatOldExtList(g_excludedExtensions), "EXE;LOG;");
    EXPECT_TRUE(log.Holds("Ignoring the line \"BAK;TXT\" of C:\\ExtExcluded.dat: an extension holds no \";\" "
                          "nor control character"));
    // Control characters reach the log escaped, each message on its line.
    EXPECT_TRUE(log.Holds("Ignoring the line \"T\\tB\" of C:\\ExtExcluded.dat: an extension holds no \";\" "
                          "nor control character"));
    EXPECT_TRUE(log.Holds("Ignoring the line \"\\x1B[2J\" of C:\\ExtExcluded.dat: an extension holds no \";\" "
                          "nor control character"));
}

TEST_F(ScopeRules, OldExtensionListText) {
    ParseOldExtList("exe;TMP", g_oldExcludedExtensions, false);
    EXPECT_EQ(g_oldExcludedExtensions, (TextList{"EXE"}));
    ParseOldExtList("EXE", g_oldExcludedExtensions, false);
    EXPECT_TRUE(g_oldExcludedExtensions.empty());
    EXPECT_TRUE(log.Holds("WARNING: old ext list empty"));
    ParseOldExtList("A;;B;", g_oldExcludedExtensions, false);
    EXPECT_EQ(g_oldExcludedExtensions, (TextList{"A", "", "B"}));
    ParseOldExtList("B;C;", g_oldExcludedExtensions, true);
    EXPECT_EQ(g_oldExcludedExtensions, (TextList{"A", "", "B", "C"}));
    EXPECT_EQ(FormatOldExtList(TextList{"EXE", "TMP", "LOG"}), "EXE;TMP;LOG;");
    EXPECT_EQ(FormatOldExtList(TextList{}), "");
}

TEST_F(ScopeRules, RemovedItemsAreReportedWhileInScope) {
    g_cList = {"C:\\DATA\\"};
    TextList suppressed;
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\DATA\\A.TXT"), suppressed, 0), 0);
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\OTHER\\A.TXT"), suppressed, 0), 1);
    EXPECT_TRUE(log.Holds("Item C:\\OTHER\\A.TXT IS IN O PROF; does not appear in report"));
}

TEST_F(ScopeRules, AFolderJustAddedToTheScopeHidesItsContent) {
    g_cList = {"C:\\NEW\\", "C:\\"};
    TextList suppressed;
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\NEW\\"), suppressed, 1), 1);
    EXPECT_EQ(suppressed, (TextList{"C:\\NEW\\"}));
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\NEW\\X.DOC"), suppressed, 1), 1);
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\NEW\\SUB\\Y.DOC"), suppressed, 1), 1);
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\OLD\\Y.DOC"), suppressed, 1), 0);
    // A new file above the suppressed folder is still an addition to report.
    EXPECT_EQ(IsHiddenFromReport(Item("C:\\DROPPED.EXE"), suppressed, 1), 0);
}

TEST_F(ScopeRules, PathListForms) {
    TextList list = {"C:\\DATA\\REPORTS\\"};
    EXPECT_TRUE(MatchPathList(list, "c:\\data\\reports\\", false, 2));
    EXPECT_FALSE(MatchPathList(list, "C:\\DATA\\", false, 2));
    EXPECT_TRUE(MatchPathList(list, "C:\\DATA\\", true, 1));
    EXPECT_FALSE(MatchPathList(list, "C:\\DATA\\REPORTS\\Q1\\", true, 1));
    EXPECT_TRUE(MatchPathList(list, "C:\\DATA\\REPORTS\\Q1\\", true, 2));
    EXPECT_FALSE(MatchPathList(TextList{}, "C:\\", true, 2));
}

}  // namespace
