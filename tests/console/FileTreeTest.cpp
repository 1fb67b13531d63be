// The monitored-files tree against the real database and real folders: the
// rows each kind of assignment writes, the link cache that follows them, new
// and vanished files, the sweep of a deleted scan job, and a real check of
// the engine over what the tree says.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "console/data/Links.h"
#include "console/settings/ExtensionList.h"
#include "console/tree/FileNode.h"
#include "console/tree/FileRules.h"
#include "console/tree/ItemProfile.h"
#include "console/tree/ProfileChange.h"
#include "platform/library/Library.h"
#include "tests/console/ConsoleFixture.h"

namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
    std::string quoted;
    for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted;
}

class FileTree : public ::testing::Test {
protected:
    void SetUp() override { f.db->Execute("DELETE FROM FILES_PROFILES_LNK"); }
    void Make(const std::string& relative) {
        const std::string path = f.root.DriveC() + "/" + relative;
        if (!relative.empty() && relative.back() == '/')
            fs::create_directories(path);
        else
            kvtest::WriteTextFile(path, "x");
    }
    void AddRow(int id, const std::string& path, int flag) {
        f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (" + std::to_string(id) +
                      ", '" + Quote(path) + "', '" + PathFingerprint(path) + "', " + std::to_string(flag) + ")");
    }
    // "id/flag" of each row, by path.
    std::map<std::string, std::string> Rows() {
        std::map<std::string, std::string> rows;
        for (const auto& row : f.db->Query("SELECT PATH, PROFILE_ID, FLAG FROM FILES_PROFILES_LNK"))
            rows[row[0]] = row[1] + "/" + (row[2].empty() ? "0" : row[2]);
        return rows;
    }
    std::map<std::string, LONG> Cache() {
        std::map<std::string, LONG> cache;
        for (const CLinkEntry& e : data.m_links) cache[e.path] = e.id;
        return cache;
    }
    // The drive node C: with the tree loaded down to the given folders.
    CFileNode& Drive() {
        for (CFileItem& item : ReadDrives(data))
            if (item.path == "C:\\") drive = std::make_unique<CFileNode>(nullptr, nullptr, item);
        EXPECT_NE(drive, nullptr);
        return *drive;
    }
    CFileNode& Open(const std::string& path) {
        CFileNode* node = drive.get();
        node->LoadChildren(data);
        while (node->m_item.path != path) {
            CFileNode* next = nullptr;
            for (size_t i = 0; i < node->m_children.size(); ++i)
                if (path.compare(0, node->Child(i)->m_item.path.size(), node->Child(i)->m_item.path) == 0)
                    next = node->Child(i);
            EXPECT_NE(next, nullptr) << path;
            if (next == nullptr) return *node;
            node = next;
            node->LoadChildren(data);
        }
        return *node;
    }
    // What command 201 does once the dialog has answered.
    void Assign(CFileNode& node, LONG id, bool thisOnly, bool anyProfile) {
        ApplyProfileInMemory(node, id, thisOnly, anyProfile);
        SetItemProfile(data, node, thisOnly, anyProfile);
    }

    kvtest::ConsoleFixture f;
    CConsoleData data;
    std::unique_ptr<CFileNode> drive;
};

TEST_F(FileTree, FolderBackToItsParentsJobWritesNoRowAndLeavesOtherJobsBelow) {
    for (auto p : {"Data/", "Data/a/", "Data/b/", "Data/c.txt", "Data/d/"}) Make(p);
    AddRow(1, "C:\\", 0);
    AddRow(2, "C:\\Data\\", 0);
    AddRow(0, "C:\\Data\\a\\", 0);
    AddRow(3, "C:\\Data\\b\\", 0);
    AddRow(1, "C:\\Data\\c.txt", 0);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    CFileNode& folder = Open("C:\\Data\\");
    ASSERT_EQ(folder.m_item.profile, 2);

    Assign(folder, 1, false, false);

    EXPECT_EQ(Rows(), (std::map<std::string, std::string>{{"C:\\", "1/0"},
                                                          {"C:\\Data\\", "1/1"},
                                                          {"C:\\Data\\a\\", "1/1"},
                                                          {"C:\\Data\\b\\", "3/0"},
                                                          {"C:\\Data\\c.txt", "1/1"}}));
    EXPECT_EQ(Cache(), (std::map<std::string, LONG>{{"c:\\", 1}, {"c:\\data\\b\\", 3}}));
    // In memory the children of the old job or none follow; b keeps its own.
    std::map<std::string, LONG> tree;
    for (size_t i = 0; i < folder.m_children.size(); ++i) tree[folder.Child(i)->m_item.name] = folder.Child(i)->m_item.profile;
    EXPECT_EQ(tree, (std::map<std::string, LONG>{{"a", 1}, {"b", 3}, {"c.txt", 1}, {"d", 1}}));
    EXPECT_EQ(f.LogCount("Error in SetItemProfile"), 0u);
}

TEST_F(FileTree, DrivesAlwaysGetAnExplicitRowAndAFolderBelowARowlessDriveGivesItOne) {
    Make("Data/");
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    CFileNode& c = Drive();
    EXPECT_EQ(c.DisplayName(), "(C:)");
    Assign(c, 0, false, true);
    EXPECT_EQ(Rows(), (std::map<std::string, std::string>{{"C:\\", "0/0"}}));
    Assign(c, 1, true, false);
    EXPECT_EQ(Rows(), (std::map<std::string, std::string>{{"C:\\", "1/0"}, {"C:\\Data\\", "0/0"}}));

    // A drive the engine has no row for would be skipped whole.
    f.db->Execute("DELETE FROM FILES_PROFILES_LNK");
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    Assign(Open("C:\\Data\\"), 1, false, false);
    EXPECT_EQ(Rows(), (std::map<std::string, std::string>{{"C:\\", "0/0"}, {"C:\\Data\\", "1/0"}}));
}

TEST_F(FileTree, ThisFolderOnlyOnAnUnexpandedFolderPinsEveryShownEntryToItsJob) {
    for (auto p : {"Data/", "Data/keep.txt", "Data/run.log", "Data/Inner/", "Data/Bob's/", "Data/Other/", "Data/old.tmp/"})
        Make(p);
    g_strExtList = "*.TMP,*.LOG";
    AddRow(1, "C:\\", 0);
    AddRow(2, "C:\\Data\\Other\\", 0);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    CFileNode& folder = Open("C:\\");
    CFileNode* data_ = nullptr;
    for (size_t i = 0; i < folder.m_children.size(); ++i)
        if (folder.Child(i)->m_item.name == "Data") data_ = folder.Child(i);
    ASSERT_NE(data_, nullptr);
    ASSERT_FALSE(data_->m_bChildrenLoaded);

    Assign(*data_, 0, true, false);

    EXPECT_EQ(Rows(), (std::map<std::string, std::string>{{"C:\\", "1/0"},
                                                          {"C:\\Data\\", "0/0"},
                                                          {"C:\\Data\\Bob's\\", "1/0"},
                                                          {"C:\\Data\\Inner\\", "1/0"},
                                                          {"C:\\Data\\Other\\", "2/0"},
                                                          {"C:\\Data\\keep.txt", "1/0"}}));
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Data\\Inner\\x.txt"), 1);
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Data\\new.txt"), 0);
    EXPECT_EQ(f.LogCount("Error in SetItemProfile"), 0u);
}

TEST_F(FileTree, TheCacheHoldsOneEntryPerPathAndDropsOneThatFollowsItsFolder) {
    Make("Data/Sub/");
    AddRow(1, "C:\\", 0);
    AddRow(2, "C:\\Data\\", 0);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    CFileNode& folder = Open("C:\\Data\\");
    Assign(folder, 3, true, false);
    EXPECT_EQ(Cache(), (std::map<std::string, LONG>{{"c:\\", 1}, {"c:\\data\\", 3}, {"c:\\data\\sub\\", 2}}));
    EXPECT_EQ(data.m_links.size(), 3u);
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Data\\new\\"), 3);
    // Back to the parent's job, this folder only: the row follows its folder.
    Assign(folder, 1, true, false);
    EXPECT_EQ(Rows()["C:\\Data\\"], "1/1");
    EXPECT_EQ(GetEffectiveProfile(data, "C:\\Data\\new\\"), 1);
}

TEST_F(FileTree, StatesCountOnlyExplicitRowsBelowAFolder) {
    Make("Data/Sub/");
    Make("Data/a.txt");
    AddRow(1, "C:\\", 0);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    CFileNode& folder = Open("C:\\Data\\");
    EXPECT_EQ(folder.ComputeState(data), STATE_PROFILE);
    AddRow(0, "C:\\Data\\Sub\\", 1);
    EXPECT_EQ(folder.ComputeState(data), STATE_PROFILE);
    Assign(*folder.Child(0), 0, true, false);  // a.txt
    EXPECT_EQ(folder.ComputeState(data), STATE_PROFILE_EXCEPTIONS);
    EXPECT_EQ(folder.Child(0)->ComputeState(data), STATE_NONE);
    Assign(folder, 0, true, false);
    EXPECT_EQ(folder.ComputeState(data), STATE_NONE_EXCEPTIONS);
    Assign(folder, 0, false, true);
    EXPECT_EQ(folder.ComputeState(data), STATE_NONE);
}

TEST_F(FileTree, NewAndVanishedEntriesAreReconciledInOrder) {
    for (auto p : {"Data/", "Data/b.txt", "Data/Gone/", "Data/Gone/x.txt"}) Make(p);
    AddRow(1, "C:\\", 0);
    AddRow(2, "C:\\Data\\Gone\\", 0);
    AddRow(3, "C:\\Data\\Gone\\x.txt", 0);
    AddRow(2, "C:\\Data\\c.txt", 1);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    CFileNode& folder = Open("C:\\Data\\");
    fs::remove_all(f.root.DriveC() + "/Data/Gone");
    Make("Data/A.txt");
    Make("Data/c.txt");

    folder.CheckNewFiles(data, nullptr);

    std::vector<std::string> names;
    for (size_t i = 0; i < folder.m_children.size(); ++i) names.push_back(folder.Child(i)->m_item.name);
    EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "b.txt", "c.txt"}));
    auto rows = Rows();
    EXPECT_EQ(rows["C:\\Data\\Gone\\"], "2/1");
    EXPECT_EQ(rows["C:\\Data\\Gone\\x.txt"], "3/1");
    EXPECT_EQ(rows.count("C:\\Data\\c.txt"), 0u);  // a new entry starts with no row of its own
    EXPECT_EQ(Cache().count("c:\\data\\gone\\"), 0u);
    EXPECT_EQ(folder.Child(2)->m_item.profile, 1);

    // A folder that cannot be read keeps its children.
    fs::remove_all(f.root.DriveC() + "/Data");
    folder.CheckNewFiles(data, nullptr);
    EXPECT_EQ(folder.m_children.size(), 3u);
}

TEST_F(FileTree, DeletedScanJobLeavesNoItemOrRowBehind) {
    for (auto p : {"D1/", "D1/in/", "D1/in/f.txt", "D2/", "D2/deep/", "D2/deep/g.txt", "D3/"}) Make(p);
    f.root.MapDrive('e', f.root.Path() + "/drive-e");
    fs::create_directories(f.root.Path() + "/drive-e/x");
    AddRow(1, "C:\\", 0);
    AddRow(4, "C:\\D1\\", 0);
    AddRow(1, "C:\\D1\\in\\", 0);
    AddRow(4, "C:\\D1\\in\\f.txt", 0);
    AddRow(4, "C:\\D2\\deep\\", 0);  // below a folder never loaded
    AddRow(2, "C:\\D3\\", 0);
    AddRow(4, "E:\\", 0);
    AddRow(4, "E:\\x\\", 1);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    auto filesRoot = std::make_unique<CFileNode>(nullptr, nullptr, CFileItem{});
    for (CFileItem& item : ReadDrives(data)) filesRoot->m_children.push_back(new CFileNode(nullptr, nullptr, item));
    drive.reset(static_cast<CFileNode*>(filesRoot->m_children[0]));  // C:
    Open("C:\\D1\\in\\");
    drive.release();
    ASSERT_EQ(filesRoot->m_children.size(), 2u);

    RemoveProfileFromTree(data, filesRoot.get(), 4);

    for (const auto& [path, row] : Rows()) EXPECT_NE(row.substr(0, 2), "4/") << path;
    auto rows = Rows();
    EXPECT_EQ(rows["C:\\D3\\"], "2/0");
    EXPECT_EQ(rows["C:\\D1\\in\\"], "1/0");
    EXPECT_EQ(rows["C:\\D2\\deep\\"], "0/0");
    EXPECT_EQ(rows["E:\\"], "0/0");
    for (const CLinkEntry& e : data.m_links) EXPECT_NE(e.id, 4) << e.path;
    CFileNode* c = static_cast<CFileNode*>(filesRoot->m_children[0]);
    CFileNode* e = static_cast<CFileNode*>(filesRoot->m_children[1]);
    EXPECT_EQ(e->m_item.profile, 0);
    EXPECT_EQ(c->FindLoaded("C:\\D1\\")->m_item.profile, 0);
    EXPECT_EQ(c->FindLoaded("C:\\D1\\in\\")->m_item.profile, 1);
    EXPECT_EQ(c->FindLoaded("C:\\D1\\in\\f.txt")->m_item.profile, 0);
    EXPECT_EQ(c->FindLoaded("C:\\D3\\")->m_item.profile, 2);
    EXPECT_EQ(c->FindLoaded("C:\\D1\\")->m_restrictProfile, -1);
}

TEST_F(FileTree, AQuoteInAPathIsWrittenDoubledAndCachedLowerCase) {
    Make("Bob's Files/");
    AddRow(1, "C:\\", 0);
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    Assign(Open("C:\\Bob's Files\\"), 2, false, true);
    EXPECT_EQ(Rows()["C:\\Bob's Files\\"], "2/0");
    EXPECT_EQ(Cache()["c:\\bob's files\\"], 2);
    EXPECT_EQ(f.LogCount("Error in SetItemProfile"), 0u);
}

// The engine, loaded as the agent loads it, checks what the tree shows.
TEST_F(FileTree, AChecksStoresExactlyTheItemsTheTreeGivesTheJob) {
    for (auto p : {"Proj/", "Proj/a.txt", "Proj/Sub/", "Proj/Sub/keep.txt", "Proj/Sub/other.txt", "Proj/Sub/Deep/",
                   "Proj/Sub/Deep/x.txt", "Else/", "Else/y.txt", "top.txt"})
        Make(p);
    f.root.SetDword("WALKDELAY", 0);
    f.root.SetDword("MATCHDELAY", 0);
    f.root.SetString("SPROFILES", "1;");
    g_strExtList.clear();
    ASSERT_EQ(InitFileProfLnk(data), S_OK);
    Drive();
    Assign(Open("C:\\Proj\\"), 1, false, false);
    Assign(Open("C:\\Proj\\Sub\\"), 0, false, false);
    Assign(Open("C:\\Proj\\Sub\\keep.txt"), 1, true, false);

    // What the tree says, walked over every loaded and unloaded item.
    std::set<std::string> expected;
    std::function<void(const std::string&)> walk = [&](const std::string& folder) {
        ListFolder(folder, [&](const WIN32_FIND_DATAA& found) {
            std::string path = folder + found.cFileName;
            const bool isFolder = (found.dwFileAttributes & 0x10) != 0;
            if (isFolder) path += "\\";
            if (GetEffectiveProfile(data, path) == 1) expected.insert(path);
            if (isFolder) walk(path);
        });
    };
    walk("C:\\");
    ASSERT_EQ(expected, (std::set<std::string>{"C:\\Proj\\", "C:\\Proj\\a.txt", "C:\\Proj\\Sub\\keep.txt"}));

    HMODULE engine = LoadLibraryA(kvtest::BinPath("OrvEngine.so").c_str());
    ASSERT_NE(engine, nullptr);
    auto checkFiles = reinterpret_cast<HRESULT (*)(LONG*)>(GetProcAddress(engine, "CheckFiles"));
    ASSERT_NE(checkFiles, nullptr);
    LONG stop = 0;
    ASSERT_EQ(checkFiles(&stop), S_OK);

    std::set<std::string> stored;
    for (const auto& row : f.db->Query("SELECT PATH FROM OLD_DATA WHERE PROFILE_ID = 1")) stored.insert(row[0]);
    EXPECT_EQ(stored, expected);
}

}  // namespace
