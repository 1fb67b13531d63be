// Whole checks over files that cannot be read for a while, and over a tree
// deeper than the process may have files open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/fingerprint/Md5.h"
#include "engine/OrvEngine.h"
#include "platform/library/Library.h"
#include "tests/fixtures/SmtpServer.h"
#include "tests/fixtures/TestDatabase.h"

namespace {

namespace fs = std::filesystem;

// A process of its own holding an exclusive lock on a file, as an editor or
// a backup program holding a file does, until it is ended.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            int fd = ::open(path.c_str(), O_RDWR);
            char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? '1' : '0';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char ok = '0';
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(ok, '1') << "the lock could not be taken";
    }
    ~LockHolder() { Release(); }
    void Release() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

class WalkContent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvEngine.so").c_str()), nullptr);
        root.SetDword("WALKDELAY", 0);
        root.SetDword("MATCHDELAY", 0);
        root.SetDword("DEBUG", 1);
        root.SetDword("DEBUGLEVEL", 2);
        root.SetDword("SMTPPORT", static_cast<DWORD>(smtp.Port()));
        root.SetString("SERVERIP", "127.0.0.1");
        fs::create_directories(root.DriveC() + "/Logs");
        root.SetString("LOGDIR", "C:\\Logs");
        db.Execute("UPDATE PROFILES SET MAILTO = 'a@example.org', MAILFROM = 'tessellon@localhost'");
        db.Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0)");
        db.Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\\DATA\\', '', 0)");
        fs::create_directories(root.DriveC() + "/Data");
    }
    std::string Posix(const std::string& relative) { return root.DriveC() + "/" + relative; }
    void Write(const std::string& relative, const std::string& text) {
        std::ofstream(Posix(relative), std::ios::binary) << text;
    }
    std::string Log() { return kvtest::ReadTextFile(root.DriveC() + "/Logs/KvAgentDbg.txt"); }
    std::string Old(const std::string& column, const std::string& path) {
        return db.Scalar("SELECT " + column + " FROM OLD_DATA WHERE PATH = '" + path + "'");
    }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
    kvtest::SmtpServer smtp;
};

TEST_F(WalkContent, AChangeMadeAfterACheckThatCouldNotReadTheFileIsReported) {
    Write("Data/ledger.txt", "balance 100");
    Write("Data/other.txt", "unchanged");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);  // the baseline
    const std::string seen = Old("MD5", "C:\\Data\\ledger.txt");
    ASSERT_EQ(seen.size(), 32u);
    const auto written = fs::last_write_time(Posix("Data/ledger.txt"));

    {
        LockHolder lock(Posix("Data/ledger.txt"));
        ASSERT_EQ(CheckFiles(nullptr), S_OK);
    }
    // The content last read stands for the file while it could not be read.
    EXPECT_EQ(Old("MD5", "C:\\Data\\ledger.txt"), seen);
    EXPECT_NE(Log().find("Failed to compute MD5 for the file C:\\Data\\ledger.txt"), std::string::npos);
    EXPECT_NE(Log().find("The content of C:\\Data\\ledger.txt could not be read; the fingerprint of its last "
                         "reading (" + seen + ") is kept"),
              std::string::npos);
    EXPECT_TRUE(smtp.Messages().empty());  // nothing changed, nothing reported

    // Same size, same time of last write: only the content tells.
    Write("Data/ledger.txt", "balance 999");
    fs::last_write_time(Posix("Data/ledger.txt"), written);
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    ASSERT_EQ(smtp.Messages().size(), 1u);
    const std::string body = smtp.Messages()[0].body;
    EXPECT_NE(body.find("C:\\Data\\ledger.txt"), std::string::npos);
    EXPECT_EQ(body.find("C:\\Data\\other.txt"), std::string::npos);
    EXPECT_EQ(body.find("C:\\Data\\\r"), std::string::npos);  // the folder is not reported
    EXPECT_NE(Old("MD5", "C:\\Data\\ledger.txt"), seen);
}

TEST_F(WalkContent, AFileNeverReadHasNoFingerprintToKeep) {
    Write("Data/new.txt", "fresh");
    LockHolder lock(Posix("Data/new.txt"));
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(Old("MD5", "C:\\Data\\new.txt"), "<NULL>");
    EXPECT_EQ(Log().find("could not be read; the fingerprint"), std::string::npos);
}

TEST_F(WalkContent, ALinkInPlaceOfAFileIsStoredAsALinkAndNeverRead) {
    Write("secret.txt", "not for the baseline");
    fs::create_symlink(Posix("secret.txt"), Posix("Data/link.txt"));
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(Old("MD5", "C:\\Data\\link.txt"), "<NULL>");
    EXPECT_EQ(Old("COUNT(*)", "C:\\Data\\link.txt"), "1");
}

// Files are read ahead of the walk on other threads: each digest and each
// reading's log lines still land with their own file, in the walk's order,
// also for a file that cannot be opened among many that can.
TEST_F(WalkContent, FilesReadAheadAreLoggedAndStoredWithTheirOwnItem) {
    root.SetDword("DEBUGLEVEL", 7);
    for (int folder = 0; folder < 3; ++folder) {
        fs::create_directories(Posix("Data/f" + std::to_string(folder) + "/sub"));
        for (int n = 0; n < 120; ++n) {
            const std::string name = "f" + std::to_string(folder) + (n % 40 == 7 ? "/sub/" : "/") + std::to_string(n) + ".txt";
            Write("Data/" + name, "content of " + name);
        }
    }
    LockHolder lock(Posix("Data/f1/50.txt"));
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    lock.Release();

    std::vector<std::string> lines;
    std::istringstream text(Log());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    const std::regex info(R"(Current item info:  Path:C:\\Data\\(f\d\\(sub\\)?\d+\.txt), MD5:([0-9a-f]{32}),)");
    const std::regex digest("MD5 for the file is ([0-9a-f]{32})");
    size_t stored = 0;
    std::string lastDigest;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        if (std::regex_search(lines[i], match, digest)) lastDigest = match[1];
        if (!std::regex_search(lines[i], match, info)) continue;
        std::string name = match[1];
        std::replace(name.begin(), name.end(), '\\', '/');
        const std::string content = "content of " + name;
        char expected[MD5_TEXT_CHARS];
        MD5DigestText(content.data(), content.size(), expected);
        EXPECT_EQ(match[3], expected) << name;
        EXPECT_EQ(lastDigest, expected) << name;
        lastDigest.clear();
        ++stored;
    }
    EXPECT_EQ(stored, 359u);

    auto at = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("Could not open the file C:\\Data\\f1\\50.txt") != std::string::npos;
    });
    ASSERT_NE(at, lines.end());
    ASSERT_NE(at + 1, lines.end());
    EXPECT_NE(at[1].find("Failed to compute MD5 for the file C:\\Data\\f1\\50.txt"), std::string::npos);
    auto row = std::find_if(at, lines.end(), [](const std::string& line) {
        return line.find("Current item info:") != std::string::npos;
    });
    ASSERT_NE(row, lines.end());
    EXPECT_NE(row->find("Path:C:\\Data\\f1\\50.txt,"), std::string::npos) << *row;
    EXPECT_EQ(Old("MD5", "C:\\Data\\f1\\50.txt"), "<NULL>");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA WHERE MD5 IS NOT NULL"), "359");
}

// The check runs in a child whose open-file limit is 1,024, below the depth
// of the tree.
TEST_F(WalkContent, ATreeDeeperThanTheOpenFileLimitIsStoredWhole) {
    const int depth = 2100;
    // Deeper than a path can name in one call: built a level at a time.
    int folder = ::open(Posix("Data").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (int level = 0; level < depth; ++level) {
        ASSERT_EQ(::mkdirat(folder, "d", 0755), 0) << level;
        int below = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ::close(folder);
        ASSERT_GE(below, 0) << level;
        folder = below;
    }
    int file = ::openat(folder, "bottom.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, "deep", 4), 4);
    ::close(file);
    ::close(folder);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit limit {1024, 1024};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(3);
        ::_exit(CheckFiles(nullptr) == S_OK ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // The Data folder, every level and the file at the bottom.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), std::to_string(depth + 2));
    std::string bottom = "C:\\Data";
    for (int level = 0; level < depth; ++level) bottom += "\\d";
    EXPECT_EQ(Old("MD5", bottom + "\\bottom.txt"), "6627415e807ee33c7302917216e7da68");  // md5("deep")
}

}  // namespace
