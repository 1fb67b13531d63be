// The stand-ins' one way of writing files: all bytes or a failure, and a
// replacement that leaves the old file and no debris when it fails.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/posix/internal/FileWrite.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kv::platform::posix::ReplaceFile;
using kv::platform::posix::WriteAll;

size_t EntriesIn(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

TEST(FileWrite, ReplaceLeavesTheNewFileOrTheOldOneAndNoTemporary) {
    kvtest::TestRoot root;
    std::string folder = root.Path() + "/files";
    fs::create_directories(folder);
    std::string path = folder + "/status";
    ASSERT_TRUE(ReplaceFile(path, std::string("first"), 0600));
    ASSERT_TRUE(ReplaceFile(path, std::string("second, longer"), 0600));
    EXPECT_EQ(kvtest::ReadTextFile(path), "second, longer");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(EntriesIn(folder), 1u);

    // A folder where the file should be: the rename fails, the folder stays.
    fs::create_directories(folder + "/taken/inner");
    errno = 0;
    EXPECT_FALSE(ReplaceFile(folder + "/taken", std::string("x"), 0644));
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(fs::is_directory(folder + "/taken/inner"));
    EXPECT_EQ(EntriesIn(folder), 2u);

    errno = 0;
    EXPECT_FALSE(ReplaceFile(folder + "/missing/status", std::string("x"), 0644));
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileWrite, WriteAllGoesOnAfterShortWritesAndReportsAClosedReader) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    // Far more than a pipe holds: the writer is held up and resumes.
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    std::string received;
    std::thread reader([&] {
        char buffer[7000];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<size_t>(n));
    });
    EXPECT_TRUE(WriteAll(pipeFds[1], data.data(), data.size()));
    ::close(pipeFds[1]);
    reader.join();
    EXPECT_EQ(received, data);
    ::close(pipeFds[0]);

    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[0]);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    errno = 0;
    EXPECT_FALSE(WriteAll(pipeFds[1], "x", 1));
    EXPECT_EQ(errno, EPIPE);
    ::sigaction(SIGPIPE, &previous, nullptr);
    ::close(pipeFds[1]);
}

}  // namespace
