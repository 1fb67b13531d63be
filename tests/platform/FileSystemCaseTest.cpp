// Names found as Windows finds them: a name missing as written is its
// case-variant in the same folder, for every way a path is used.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/file/File.h"
#include "platform/file/FileOperations.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/Find.h"
#include "platform/fs/PathMap.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

std::string ReadThrough(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<" + std::to_string(GetLastError()) + ">";
    std::string text;
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read != 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

bool WriteThrough(const char* path, DWORD disposition, const std::string& text) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

size_t Entries(const std::string& folder) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}

class CaseInsensitiveNames : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root.DriveC() + "/Tsl3/Data");
        kvtest::WriteTextFile(data() + "/ExtExcluded.dat", "TMP\r\n");
    }
    std::string data() const { return root.DriveC() + "/Tsl3/Data"; }
    kvtest::TestRoot root;
};

TEST_F(CaseInsensitiveNames, ReadsAttributesAndFindsThroughEveryFolderOfTheWrongCase) {
    EXPECT_EQ(ReadThrough("C:\\TSL3\\data\\extexcluded.dat"), "TMP\r\n");
    EXPECT_NE(GetFileAttributesA("c:\\tsl3\\DATA\\EXTEXCLUDED.DAT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(kv::platform::ToPosixPath("C:\\tsl3\\data\\extexcluded.dat"), data() + "/ExtExcluded.dat");

    // The entry is reported under its own name, as Windows reports it.
    WIN32_FIND_DATAA found {};
    HANDLE find = FindFirstFileA("C:\\tsl3\\data\\EXTEXCLUDED.DAT", &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "ExtExcluded.dat");
    FindClose(find);
    find = FindFirstFileA("C:\\TSL3\\DATA\\*.*", &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);

    EXPECT_EQ(ReadThrough("C:\\Tsl3\\Data\\missing.dat"), "<" + std::to_string(ERROR_FILE_NOT_FOUND) + ">");
}

TEST_F(CaseInsensitiveNames, CreatingACaseVariantOpensTheExistingFile) {
    ASSERT_TRUE(WriteThrough("C:\\Tsl3\\Data\\extexcluded.dat", CREATE_ALWAYS, "LOG\r\n"));
    EXPECT_EQ(kvtest::ReadTextFile(data() + "/ExtExcluded.dat"), "LOG\r\n");
    ASSERT_TRUE(WriteThrough("C:\\tsl3\\data\\EXTEXCLUDED.DAT", OPEN_ALWAYS, "DOC"));
    EXPECT_EQ(kvtest::ReadTextFile(data() + "/ExtExcluded.dat"), "DOC\r\n");
    EXPECT_FALSE(WriteThrough("C:\\Tsl3\\Data\\EXTexcluded.dat", CREATE_NEW, "x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Entries(data()), 1u);

    // A name with no variant is created as written, in the folder found.
    ASSERT_TRUE(WriteThrough("C:\\TSL3\\DATA\\New.txt", CREATE_NEW, "n"));
    EXPECT_EQ(kvtest::ReadTextFile(data() + "/New.txt"), "n");
}

TEST_F(CaseInsensitiveNames, TheExactNameWinsAndAmongVariantsTheFirstInByteOrder) {
    kvtest::WriteTextFile(data() + "/log.txt", "lower");
    kvtest::WriteTextFile(data() + "/Log.txt", "mixed");
    kvtest::WriteTextFile(data() + "/LOG.txt", "upper");
    EXPECT_EQ(ReadThrough("C:\\Tsl3\\Data\\Log.txt"), "mixed");
    EXPECT_EQ(ReadThrough("C:\\Tsl3\\Data\\log.txt"), "lower");
    // "LOG.txt" < "Log.txt" < "log.txt" byte by byte.
    EXPECT_EQ(ReadThrough("C:\\Tsl3\\Data\\lOg.TXT"), "upper");
    fs::remove(data() + "/LOG.txt");
    EXPECT_EQ(ReadThrough("C:\\Tsl3\\Data\\lOg.TXT"), "mixed");
}

TEST_F(CaseInsensitiveNames, DeleteMoveAndCopyActOnTheExistingEntry) {
    std::string work = root.DriveC() + "/Work";
    fs::create_directories(work);
    kvtest::WriteTextFile(work + "/ext1A2B.TMP", "LOG\r\nTMP\r\n");

    // Replacing a case-variant keeps one file, under the name it had.
    ASSERT_TRUE(MoveFileExA("C:\\work\\EXT1a2b.tmp", "C:\\Tsl3\\Data\\extexcluded.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(kvtest::ReadTextFile(data() + "/ExtExcluded.dat"), "LOG\r\nTMP\r\n");
    EXPECT_EQ(Entries(data()), 1u);
    EXPECT_EQ(Entries(work), 0u);

    kvtest::WriteTextFile(work + "/b.txt", "B");
    EXPECT_FALSE(MoveFileExA("C:\\Work\\b.txt", "C:\\Tsl3\\Data\\EXTEXCLUDED.dat", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    ASSERT_TRUE(CopyFileA("C:\\TSL3\\DATA\\extexcluded.DAT", "C:\\work\\B.TXT", FALSE));
    EXPECT_EQ(kvtest::ReadTextFile(work + "/b.txt"), "LOG\r\nTMP\r\n");
    EXPECT_FALSE(CopyFileA("C:\\Work\\b.txt", "C:\\Tsl3\\Data\\extexcluded.dat", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    ASSERT_TRUE(DeleteFileA("C:\\tsl3\\data\\EXTEXCLUDED.DAT"));
    EXPECT_FALSE(fs::exists(data() + "/ExtExcluded.dat"));
    EXPECT_FALSE(DeleteFileA("C:\\Tsl3\\Data\\ExtExcluded.dat"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("C:\\Tsl3\\data"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(CaseInsensitiveNames, AMoveAcrossFileSystemsReplacesTheDestinationWhole) {
    // /dev/shm is another file system than the test root's on every machine
    // that has it; without it there is nothing to cross.
    std::string shm = "/dev/shm/kv-case-" + std::to_string(::getpid());
    std::error_code ignored;
    if (!fs::create_directories(shm, ignored)) GTEST_SKIP() << "no /dev/shm";
    root.MapDrive('T', shm);
    kvtest::WriteTextFile(shm + "/ext9.TMP", "VOID\r\n");
    EXPECT_FALSE(MoveFileExA("T:\\EXT9.tmp", "C:\\Tsl3\\Data\\ExtExcluded.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
    EXPECT_EQ(kvtest::ReadTextFile(data() + "/ExtExcluded.dat"), "TMP\r\n");
    ASSERT_TRUE(MoveFileExA("T:\\EXT9.tmp", "C:\\Tsl3\\Data\\extexcluded.dat",
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(kvtest::ReadTextFile(data() + "/ExtExcluded.dat"), "VOID\r\n");
    EXPECT_EQ(Entries(data()), 1u);
    EXPECT_FALSE(fs::exists(shm + "/ext9.TMP"));
    struct stat info {};
    ASSERT_EQ(::stat((data() + "/ExtExcluded.dat").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
    fs::remove_all(shm, ignored);
}

TEST_F(CaseInsensitiveNames, TemporaryNamesAreNewFilesWithTheirPrefix) {
    fs::create_directories(root.DriveC() + "/tmp");
    ::setenv("TMP", "C:\\tmp", 1);
    char folder[MAX_PATH] = {};
    DWORD length = GetTempPathA(sizeof folder, folder);
    ::unsetenv("TMP");
    ASSERT_EQ(std::string(folder, length), "C:\\tmp\\");
    char first[MAX_PATH] = {}, second[MAX_PATH] = {};
    ASSERT_NE(GetTempFileNameA(folder, "extension", 0, first), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "extension", 0, second), 0u);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(std::string(first).rfind("C:\\tmp\\ext", 0), 0u);
    EXPECT_EQ(std::string(first).substr(std::string(first).size() - 4), ".TMP");
    EXPECT_EQ(Entries(root.DriveC() + "/tmp"), 2u);
    EXPECT_EQ(GetTempFileNameA("C:\\no such folder", "ext", 0, first), 0u);
}

}  // namespace
