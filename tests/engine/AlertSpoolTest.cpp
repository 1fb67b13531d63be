// The spool of undelivered alerts: its files and their order, what a file
// that is no alert does to the others, and a folder that is not the spool's
// own.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "common/Settings.h"
#include "engine/alert/AlertSpool.h"
#include "platform/mail/MailSpool.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/SmtpServer.h"
#include "tests/fixtures/TestDatabase.h"

namespace fs = std::filesystem;

namespace {

class AlertSpoolTest : public ::testing::Test {
protected:
    std::string Folder() const { return db.DataFolder() + "/AlertSpool"; }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
    kvtest::EngineLog log{root, 7};
};

TEST_F(AlertSpoolTest, KeepsEachMailWholeAndInOrder) {
    kv::platform::MailSpool spool(Folder());
    EXPECT_TRUE(spool.List().empty());
    const kv::platform::SpooledMail mails[] = {
        {"f@x.org", "a@x.org; b@y.org", "Alert", "line 1\r\nline 2\n5\n\nlast"},
        {"", "", "", ""},
        {"f@x.org", "a@x.org", "Ümlaut \x01", std::string("nul\0inside", 10)},
    };
    for (const auto& mail : mails) ASSERT_EQ(spool.Add(mail), 0u);
    const auto names = spool.List();
    ASSERT_EQ(names.size(), 3u);
    for (size_t n = 0; n < 3; ++n) {
        kv::platform::SpooledMail read;
        ASSERT_EQ(spool.Read(names[n], read), 0u);
        EXPECT_EQ(read, mails[n]) << n;
    }
    ASSERT_EQ(spool.Remove(names[0]), 0u);
    ASSERT_EQ(spool.Add(mails[0]), 0u);
    // A removed mail's number is not taken again while later ones wait.
    EXPECT_EQ(spool.List().back() > names[2], true);
    EXPECT_EQ(spool.List().size(), 3u);
    // Half-written or truncated files are no mails.
    kvtest::WriteTextFile(Folder() + "/00000000000000000099.mail", "KVMAIL 1\n3\nabc\n");
    kv::platform::SpooledMail read;
    EXPECT_EQ(spool.Read("00000000000000000099.mail", read), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(AlertSpoolTest, AFolderThatIsNotTheSpoolsOwnIsNotWrittenInto) {
    fs::create_directories(root.Path() + "/elsewhere");
    fs::create_directory_symlink(root.Path() + "/elsewhere", Folder());
    kv::platform::MailSpool spool(Folder());
    EXPECT_EQ(spool.Add({"f@x.org", "a@x.org", "s", "b"}), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_empty(root.Path() + "/elsewhere"));
    // A folder of the spool's own opened to others is closed again.
    fs::remove(Folder());
    fs::create_directories(Folder());
    fs::permissions(Folder(), fs::perms::all);
    ASSERT_EQ(spool.Add({"f@x.org", "a@x.org", "s", "b"}), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // No folder named (no data folder set): nothing kept anywhere.
    kv::platform::MailSpool none{std::string()};
    EXPECT_EQ(none.Add({"f@x.org", "a@x.org", "s", "b"}), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(none.List().empty());
}

// A file that is no alert is set aside with a line; the alerts behind it go.
TEST_F(AlertSpoolTest, AnUnreadableFileDoesNotBlockTheOthers) {
    kvtest::SmtpServer smtp;
    g_dwSmtpPort = static_cast<DWORD>(smtp.Port());
    std::snprintf(g_szServerIP, sizeof g_szServerIP, "127.0.0.1");
    kv::platform::MailSpool spool(Folder());
    ASSERT_EQ(spool.Add({"tessellon@localhost", "a@example.org", "First", "one"}), 0u);
    kvtest::WriteTextFile(Folder() + "/00000000000000000002.mail", "garbage");
    ASSERT_EQ(spool.Add({"tessellon@localhost", "a@example.org", "Third", "three"}), 0u);
    SendSpooledAlerts();
    const auto messages = smtp.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].headers.at("subject"), "First");
    EXPECT_EQ(messages[1].headers.at("subject"), "Third");
    EXPECT_TRUE(spool.List().empty());
    EXPECT_TRUE(fs::exists(Folder() + "/00000000000000000002.mail.bad"));
    EXPECT_NE(log.Text().find("Set aside the spooled alert 00000000000000000002.mail"), std::string::npos);
}

}  // namespace
