// Opening files for their content: only regular files, never waiting on a
// FIFO, and the share modes that keep a reader off a file being written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file/File.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/SpecialFiles.h"
#include "tests/fixtures/TestRoot.h"

namespace {

HANDLE OpenReader(const std::string& path, DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

HANDLE OpenLogWriter(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(FileRead, OnlyRegularFilesOpenForReading) {
    kvtest::TestRoot root;
    std::filesystem::create_directory(root.DriveC() + "/folder");
    kvtest::MakeFifo(root.DriveC() + "/pipe");
    root.MapDrive('d', "/dev");
    for (const char* path : {"C:\\folder", "C:\\pipe", "D:\\null"}) {
        EXPECT_EQ(OpenReader(path, FILE_SHARE_READ), INVALID_HANDLE_VALUE) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
    }
    EXPECT_EQ(OpenReader("C:\\missing", FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileRead, ShareModesBetweenReadersAndWriters) {
    kvtest::TestRoot root;
    kvtest::WriteTextFile(root.DriveC() + "/log.txt", "line\r\n");
    HANDLE writer = OpenLogWriter("C:\\log.txt");
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    // A reader that will not let others write cannot have a file being written...
    EXPECT_EQ(OpenReader("C:\\log.txt", FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // ...one that shares write access can.
    HANDLE tolerant = OpenReader("C:\\log.txt", FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_NE(tolerant, INVALID_HANDLE_VALUE);
    CloseHandle(tolerant);
    CloseHandle(writer);

    // A reader never keeps a writer out, so a log line is not lost while
    // its file is being read.
    HANDLE reader = OpenReader("C:\\log.txt", 0);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    writer = OpenLogWriter("C:\\log.txt");
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
    CloseHandle(reader);
}

}  // namespace
