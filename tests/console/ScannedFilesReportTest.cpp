#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Settings.h"
#include "console/data/Links.h"
#include "console/data/Profiles.h"
#include "console/report/PageWriter.h"
#include "console/report/ReportRows.h"
#include "console/report/ScannedFilesReport.h"
#include "console/snapin/ComponentData.h"
#include "console/snapin/Startup.h"
#include "platform/browser/WebBrowser.h"
#include "tests/console/ConsoleFixture.h"

namespace {

namespace fs = std::filesystem;

// The page as it must read, fragment by fragment, less its rows.
std::string ExpectedHead(const std::string& subject, const std::string& imageFolder) {
    return "<html><head>\n"
           "<meta http-equiv=\"Content-Language\" content=\"en-us\">\n"
           "<meta name=\"GENERATOR\" content=\"Microsoft FrontPage 5.0\">\n"
           "<meta name=\"ProgId\" content=\"FrontPage.Editor.Document\">\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\n"
           "<title>All files scanned by the " + subject + "</title>\n"
           "<style>\n<!--\n"
           ".normal\n{\nfont-family:arial, verdana, serif;\nfont-size:10pt;\ncolor:black;\n}\n"
           ".HEADERS\n{\nfont-family:arial, verdana, serif;\nfont-size:10pt;\nfont-weight:bold;\ncolor:gold;\n"
           "background-color:black;\n}\n"
           ".DAY\n{\nfont-family:arial, verdana, serif;\nfont-size:8pt;\ncolor:black;\nbackground-color:white;\n}\n"
           ".limit1000\n{\ncolor:red;\nfont-weight:bold;\n}\n"
           ".sort\n{\nbackground-color:f7f7f7;\n}\n"
           ".limit0000\n{\n}\n"
           "-->\n</style>\n</head>\n"
           "<body>\n"
           "<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" height=\"0\">\n"
           "<tr>\n<td>\n<div align=\"left\">\n"
           "<img src=\"" + imageFolder + "\\top_menu_left.gif\" border=\"0\" hspace=\"10\" alt=\"Kestrava\" "
           "width=\"70\" height=\"28\">"
           "</div>\n</td>\n<td>\n<div align=\"right\">\n"
           "<img src=\"" + imageFolder + "\\top_menu_right.jpg\" border=\"0\" width=\"393\" height=\"40\">"
           "</div>\n</td>\n</tr>\n<tr>\n<td bgcolor=\"#000000\" colspan=\"2\" height=\"2\"></td>\n</tr>\n</table>\n"
           "<div align=\"center\">\n"
           "<table cellpadding=\"2\" cellspacing=\"0\" border=\"0\" width=\"800\" style=\"border-collapse: collapse\">\n"
           "<tr class=\"normal\" style=\"font-size: 16pt\">\n<td><br>\n"
           "<b>All files scanned by the " + subject + "</b></td>\n"
           "</tr>\n</table>\n</div>\n"
           "<p align=\"center\" class=\"normal\"></p>\n<p align=\"center\" class=\"normal\"></p>\n"
           "<p align=\"center\" class=\"normal\"></p>\n<p align=\"center\" class=\"normal\"></p>\n"
           "<p></p>\n<p></p>\n<p></p>\n<p></p>\n<p></p>\n<p></p>\n"
           "<div align=\"center\">\n"
           "<table cellpadding=\"1\" cellspacing=\"1\" border=\"0\" width=\"800\" style=\"border-collapse: collapse\">\n"
           "<tr class=\"HEADERS\">\n"
           "<td align=\"center\">Name</td>\n<td align=\"center\">Folder</td>\n"
           "<td align=\"center\">Type</td>\n<td align=\"center\">Size</td>\n"
           "</tr>\n<tr>\n<td colspan=\"4\" bgcolor=\"#ffffff\"></td>\n</tr>\n";
}

const char* const kTableEnd = "</table>\n</div>\n</div>\n";
const char* const kFooterStart =
    "<div style=\"width: 901; height: 38\">\n"
    "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;\n</div>\n"
    "<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" height=\"0\">\n<tr>\n"
    "<td bgcolor=\"#000000\" width=\"10\"></td>\n"
    "<td bgcolor=\"#000000\" align=\"left\" valign=\"center\" height=\"20\" class=\"normal\" style=\"color: white\">\n";
const char* const kFooterEnd = "</td>\n</tr>\n</table>\n</body>\n</html>";

std::string GreyRow(const std::string& name, const std::string& folder, const std::string& type,
                    const std::string& size) {
    return "<tr class=\"DAY limit0000\">\n"
           "<td class=\"sort\" bordercolor=\"#E0E0E0\" style=\"background-color: #E0E0E0\">\n&nbsp;" + name + "</td>\n"
           "<td align=\"left\" style=\"background-color: #E0E0E0\" bordercolor=\"#E0E0E0\">\n" + folder + "</td>\n"
           "<td align=\"left\" style=\"background-color: #E0E0E0\" bordercolor=\"#E0E0E0\">\n" + type + "</td>\n"
           "<td align=\"right\" style=\"background-color: #E0E0E0\" bordercolor=\"#E0E0E0\">\n" + size +
           "</td>\n</tr>\n<tr>\n<td colspan=\"4\" bgcolor=\"#E0E0E0\"></td>\n</tr>\n";
}

std::string WhiteRow(const std::string& name, const std::string& folder, const std::string& type,
                     const std::string& size) {
    return "<tr class=\"DAY limit0000\">\n"
           "<td class=\"sort\" bordercolor=\"#FFFFFF\" style=\"background-color: #FFFFFF\">\n&nbsp;" + name + "</td>\n"
           "<td align=\"left\" bordercolor=\"#FFFFFF\">\n" + folder + "</td>\n"
           "<td align=\"left\" bordercolor=\"#FFFFFF\">\n" + type + "</td>\n"
           "<td align=\"right\" bordercolor=\"#FFFFFF\">\n" + size +
           "</td>\n</tr>\n<tr>\n<td colspan=\"4\" bgcolor=\"#E0E0E0\"></td>\n</tr>\n";
}

std::string StreamText(IStream* stream) {
    HGLOBAL block = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &block))) return std::string();
    ULARGE_INTEGER size{};
    LARGE_INTEGER none{};
    stream->Seek(none, STREAM_SEEK_CUR, &size);
    const char* bytes = static_cast<const char*>(GlobalLock(block));
    std::string text(bytes, static_cast<size_t>(size.QuadPart));
    GlobalUnlock(block);
    return text;
}

struct Row {
    bool grey;
    std::string name, folder, type, size;
};

// The rows of a page, each read back from its cells.
std::vector<Row> ReadRows(const std::string& page) {
    std::vector<Row> rows;
    const std::string start = "<tr class=\"DAY limit0000\">\n";
    for (size_t at = page.find(start); at != std::string::npos; at = page.find(start, at + 1)) {
        Row row;
        const std::string grey = "<td class=\"sort\" bordercolor=\"#E0E0E0\"";
        row.grey = page.compare(at + start.size(), grey.size(), grey) == 0;
        std::vector<std::string> cells;
        size_t cell = at;
        for (int i = 0; i < 4; ++i) {
            cell = page.find(">\n", page.find("<td", cell)) + 2;
            size_t end = page.find("</td>", cell);
            cells.push_back(page.substr(cell, end - cell));
            cell = end;
        }
        row.name = cells[0].substr(6);  // after "&nbsp;"
        row.folder = cells[1];
        row.type = cells[2];
        row.size = cells[3];
        rows.push_back(row);
    }
    return rows;
}

class ScannedFilesReport : public ::testing::Test {
protected:
    void SetUp() override {
        f.db->Execute("DELETE FROM FILES_PROFILES_LNK");
        f.db->Execute("INSERT INTO PROFILES (PROFILE_ID, NAME) VALUES (2, 'Weekly')");
        ASSERT_TRUE(OpenConsoleDatabase(data))
            << (data.m_db.GetOpenError() ? data.m_db.GetOpenError()->m_strError + data.m_db.GetOpenError()->m_strStateNativeOrigin : "");
        InitProfiles(data);
        dataFolder = g_szDataPath;
        imageFolder = dataFolder.substr(0, dataFolder.rfind('\\'));
    }
    void Link(int id, const std::string& path) {
        f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (" +
                      std::to_string(id) + ", '" + path + "', '" + PathFingerprint(path) + "', 0)");
    }
    std::string Page(LONG id) {
        CReportPageWriter writer;
        EXPECT_EQ(writer.Open(), S_OK);
        WriteScannedFilesReport(data, id, writer);
        EXPECT_TRUE(writer.Succeeded());
        return StreamText(writer.Stream());
    }
    void File(const std::string& relative, size_t bytes) {
        fs::create_directories(fs::path(f.root.DriveC() + "/" + relative).parent_path());
        kvtest::WriteTextFile(f.root.DriveC() + "/" + relative, std::string(bytes, 'x'));
    }

    kvtest::ConsoleFixture f;
    CConsoleData data;
    std::string dataFolder, imageFolder;
};

TEST_F(ScannedFilesReport, AJobWithoutItemsGivesTitleHeaderRowAndFooterOnly) {
    std::string page = Page(2);
    std::string expected = ExpectedHead("Weekly scan job", imageFolder) + kTableEnd + kFooterStart;
    ASSERT_EQ(page.substr(0, expected.size()), expected);
    ASSERT_GE(page.size(), expected.size() + std::string(kFooterEnd).size());
    EXPECT_EQ(page.substr(page.size() - std::string(kFooterEnd).size()), kFooterEnd);
    // The provider's notice is one line.
    std::string notice = page.substr(expected.size(), page.size() - expected.size() - std::string(kFooterEnd).size());
    EXPECT_EQ(notice.find('\n'), std::string::npos);
    EXPECT_FALSE(notice.empty());
}

TEST_F(ScannedFilesReport, RowsAlternateGreyAndWhiteWithTheirSizesFolderAndType) {
    File("Job/a.txt", 1024);
    File("Job/b.txt", 1536);
    File("Job/c.txt", 1048576);
    Link(2, "C:\\Job\\");
    std::string page = Page(2);
    std::string head = ExpectedHead("Weekly scan job", imageFolder);
    ASSERT_EQ(page.substr(0, head.size()), head);

    std::vector<Row> rows = ReadRows(page);
    ASSERT_EQ(rows.size(), 4u);
    // The folder first, from the drive root: the shell's folder type, no size.
    EXPECT_EQ(rows[0].name, "Job");
    EXPECT_EQ(rows[0].folder, "C:\\");
    EXPECT_EQ(rows[0].size, "0 Bytes");
    EXPECT_FALSE(rows[0].type.empty());
    std::vector<bool> colours;
    for (const Row& row : rows) colours.push_back(row.grey);
    EXPECT_EQ(colours, (std::vector<bool>{true, false, true, false}));

    std::vector<Row> files(rows.begin() + 1, rows.end());
    std::sort(files.begin(), files.end(), [](const Row& a, const Row& b) { return a.name < b.name; });
    EXPECT_EQ(files[0].size, "1024 Bytes");
    EXPECT_EQ(files[1].size, "1.5 KBytes");
    EXPECT_EQ(files[2].size, "1.02e+03 KBytes");
    for (const Row& file : files) {
        EXPECT_EQ(file.folder, "C:\\Job");
        EXPECT_NE(file.type, rows[0].type);
    }

    // Byte for byte: each row as its colour writes it, and the page less
    // its rows is the page of an empty job.
    std::string expectedRows = GreyRow("Job", "C:\\", rows[0].type, "0 Bytes");
    for (size_t i = 1; i < rows.size(); ++i) {
        const Row& r = rows[i];
        expectedRows += (i % 2 == 0 ? GreyRow : WhiteRow)(r.name, r.folder, r.type, r.size);
    }
    EXPECT_EQ(page.substr(head.size(), expectedRows.size()), expectedRows);
    EXPECT_EQ(page.compare(head.size() + expectedRows.size(), std::string(kTableEnd).size(), kTableEnd), 0);
}

TEST_F(ScannedFilesReport, TheWalkFollowsTheEffectiveScanJob) {
    File("Mixed/mine.txt", 1);
    File("Mixed/Other/theirs.txt", 1);
    File("Mixed/Other/Back/again.txt", 1);
    File("Elsewhere/no.txt", 1);
    Link(2, "C:\\Mixed\\");
    Link(1, "C:\\Mixed\\Other\\");
    Link(2, "C:\\Mixed\\Other\\Back\\");
    std::vector<std::string> names;
    for (const Row& row : ReadRows(Page(2))) names.push_back(row.folder + "|" + row.name);
    std::sort(names.begin(), names.end());
    // Other belongs to job 1: no row, but the walk goes through it to a
    // folder of this job again.
    EXPECT_EQ(names, (std::vector<std::string>{"C:\\Mixed\\Other\\Back|again.txt", "C:\\Mixed\\Other|Back",
                                               "C:\\Mixed|mine.txt", "C:\\|Mixed"}));
}

TEST_F(ScannedFilesReport, TheFirstJobIsNamedAloneAndOthersCarryTheSuffix) {
    EXPECT_EQ(ReportSubject(data, 1), "Default");
    EXPECT_EQ(ReportSubject(data, 2), "Weekly scan job");
    std::string page = Page(1);
    EXPECT_NE(page.find("<title>All files scanned by the Default</title>\n"), std::string::npos);
    EXPECT_NE(page.find("<b>All files scanned by the Default</b></td>\n"), std::string::npos);
}

TEST_F(ScannedFilesReport, NamesAreShownAsTextNeverAsMarkup) {
    File("Job/<i>bold & \"quoted\".txt", 3);
    File("Job/Grüße.txt", 3);
    Link(2, "C:\\Job\\");
    std::string page = Page(2);
    EXPECT_EQ(page.find("<i>bold"), std::string::npos);
    EXPECT_NE(page.find("&nbsp;&lt;i&gt;bold &amp; &quot;quoted&quot;.txt</td>"), std::string::npos);
    // Other names pass unchanged, in the system's code page.
    EXPECT_NE(page.find("&nbsp;Grüße.txt</td>"), std::string::npos);
}

TEST_F(ScannedFilesReport, TheBrowserWindowShowsThePageTheWriterWrote) {
    File("Job/a.txt", 10);
    Link(2, "C:\\Job\\");
    ASSERT_EQ(kv::browser::RegisterBrowserClass(), S_OK);
    int opened = 0;
    kv::browser::SetNewWindowHandler([](int window, void* context) { *static_cast<int*>(context) = window; }, &opened);

    auto* componentData = new CComponentData;
    componentData->AddRef();
    ASSERT_TRUE(OpenConsoleDatabase(componentData->m_data));
    InitProfiles(componentData->m_data);
    ShowScannedFilesReport(componentData, 2);
    componentData->Release();
    kv::browser::SetNewWindowHandler(nullptr, nullptr);
    kv::browser::RevokeBrowserClass();

    ASSERT_NE(opened, 0);
    std::string shown;
    ASSERT_TRUE(kv::browser::DocumentSource(opened, &shown));
    EXPECT_EQ(shown, Page(2));
    // The tab asks the host for the banner pictures, which are the
    // installation's files in the folder above the data folder.
    kv::browser::RenderedDocument rendered;
    ASSERT_TRUE(kv::browser::RenderDocument(opened, &rendered));
    EXPECT_EQ(rendered.files, (std::vector<std::string>{imageFolder + "\\top_menu_left.gif",
                                                        imageFolder + "\\top_menu_right.jpg"}));
    EXPECT_NE(rendered.html.find("<img src=\"file/0\" border=\"0\" hspace=\"10\""), std::string::npos);
    EXPECT_TRUE(fs::exists(f.db->DataFolder() + "/../top_menu_left.gif"));
}

TEST(ScannedFilesReportText, SizesCountUpToTerabytes) {
    EXPECT_EQ(ReportSizeText(0), "0 Bytes");
    EXPECT_EQ(ReportSizeText(1024), "1024 Bytes");
    EXPECT_EQ(ReportSizeText(1025), "1 KBytes");
    EXPECT_EQ(ReportSizeText(1536), "1.5 KBytes");
    EXPECT_EQ(ReportSizeText(1048576), "1.02e+03 KBytes");
    EXPECT_EQ(ReportSizeText(1048577), "1 MBytes");
    EXPECT_EQ(ReportSizeText(3u * 1024 * 1024 * 1024), "3 GBytes");
    // Sizes past 4 GiB keep their high part.
    EXPECT_EQ(ReportSizeText(5ull * 1024 * 1024 * 1024), "5 GBytes");
    EXPECT_EQ(ReportSizeText(2ull << 40), "2 TBytes");
    EXPECT_EQ(ReportSizeText(4096ull << 40), "4.1e+03 TBytes");
    EXPECT_EQ(ReportFolderText("C:\\a"), "C:\\");
    EXPECT_EQ(ReportFolderText("C:\\a\\b.txt"), "C:\\a");
}

TEST(ScannedFilesReportText, ReopeningTheWriterStartsAnEmptyPage) {
    CReportPageWriter writer;
    ASSERT_EQ(writer.Open(), S_OK);
    writer.WriteCell1("one");
    writer.WriteCell2("two");
    writer.WriteCell3("three");
    writer.WriteCell4("four");
    ASSERT_EQ(writer.Open(), S_OK);
    writer.WriteEndOfTable();
    EXPECT_EQ(StreamText(writer.Stream()), kTableEnd);
}

}  // namespace
