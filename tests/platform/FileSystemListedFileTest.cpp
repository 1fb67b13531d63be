// Files opened as a folder listing named them: relative to the listed folder,
// never through a link, and without a descriptor held per listing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file/File.h"
#include "platform/fs/Find.h"
#include "platform/fs/Owner.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

size_t OpenDescriptors() {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

std::string ReadAll(HANDLE file) {
    std::string text;
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read != 0) text.append(buffer, read);
    return text;
}

TEST(ListedFile, OpensTheFileOfTheListedFolderEvenAfterTheFolderMoved) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/dir");
    kvtest::WriteTextFile(root.DriveC() + "/dir/a.txt", "listed");
    WIN32_FIND_DATAA data {};
    HANDLE find = FindFirstFileA("C:\\dir\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);

    HANDLE file = kv::platform::OpenFoundFile(find, "a.txt", GENERIC_READ, 0, FILE_FLAG_SEQUENTIAL_SCAN);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadAll(file), "listed");
    CloseHandle(file);

    // Another folder put in the listed one's place: while the listed folder
    // is still held, its file is the one opened...
    fs::rename(root.DriveC() + "/dir", root.DriveC() + "/moved");
    fs::create_directories(root.DriveC() + "/dir");
    kvtest::WriteTextFile(root.DriveC() + "/dir/a.txt", "impostor");
    file = kv::platform::OpenFoundFile(find, "a.txt", GENERIC_READ, 0, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadAll(file), "listed");
    CloseHandle(file);
    // ...and once another listing has taken the folder descriptor, the
    // impostor found at the path is refused.
    WIN32_FIND_DATAA other {};
    HANDLE elsewhere = FindFirstFileA("C:\\moved\\*.*", &other);
    ASSERT_NE(elsewhere, INVALID_HANDLE_VALUE);
    file = kv::platform::OpenFoundFile(elsewhere, "a.txt", GENERIC_READ, 0, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    FindClose(elsewhere);
    EXPECT_EQ(kv::platform::OpenFoundFile(find, "a.txt", GENERIC_READ, 0, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // Names that would leave the folder are refused outright.
    for (const char* name : {"..", ".", "x/a.txt", ""})
        EXPECT_EQ(kv::platform::OpenFoundFile(find, name, GENERIC_READ, 0, 0), INVALID_HANDLE_VALUE) << name;
    FindClose(find);
}

TEST(ListedFile, ALinkIsNeverOpenedForItsTarget) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/dir");
    kvtest::WriteTextFile(root.DriveC() + "/target.txt", "target");
    fs::create_symlink(root.DriveC() + "/target.txt", root.DriveC() + "/dir/link.txt");
    fs::create_directory_symlink(root.DriveC() + "/dir", root.DriveC() + "/dirlink");

    // By path: neither the link itself nor a path through a linked folder.
    EXPECT_EQ(CreateFileA("C:\\dir\\link.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA("C:\\dirlink\\link.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    // A log writer does not append to whatever a planted link names.
    EXPECT_EQ(CreateFileA("C:\\dir\\link.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(kvtest::ReadTextFile(root.DriveC() + "/target.txt"), "target");

    // By listing: the content is refused, the link's own status is not.
    WIN32_FIND_DATAA data {};
    HANDLE find = FindFirstFileA("C:\\dir\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kv::platform::OpenFoundFile(find, "link.txt", GENERIC_READ, 0, 0), INVALID_HANDLE_VALUE);
    HANDLE self = kv::platform::OpenFoundFile(find, "link.txt", READ_CONTROL, FILE_SHARE_READ, 0);
    EXPECT_NE(self, INVALID_HANDLE_VALUE);
    CloseHandle(self);
    FindClose(find);
}

TEST(ListedFile, TheOwnerComesFromTheListingItself) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/dir");
    kvtest::WriteTextFile(root.DriveC() + "/dir/a.txt", "owned");
    WIN32_FIND_DATAA data {};
    HANDLE find = FindFirstFileA("C:\\dir\\a.txt*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    PSID listed = nullptr;
    PSECURITY_DESCRIPTOR listedDescriptor = nullptr;
    ASSERT_EQ(kv::platform::GetFoundEntrySecurityInfo(find, OWNER_SECURITY_INFORMATION, &listed, nullptr,
                                                      &listedDescriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE file = kv::platform::OpenFoundFile(find, "a.txt", READ_CONTROL, FILE_SHARE_READ, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    PSID opened = nullptr;
    PSECURITY_DESCRIPTOR openedDescriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &opened, nullptr, nullptr, nullptr,
                              &openedDescriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    char listedName[64] = {}, openedName[64] = {}, domain[64] = {};
    DWORD length = sizeof listedName, domainLength = sizeof domain;
    SID_NAME_USE use {};
    ASSERT_TRUE(LookupAccountSidA(nullptr, listed, listedName, &length, domain, &domainLength, &use));
    length = sizeof openedName;
    domainLength = sizeof domain;
    ASSERT_TRUE(LookupAccountSidA(nullptr, opened, openedName, &length, domain, &domainLength, &use));
    EXPECT_STREQ(listedName, openedName);
    LocalFree(listedDescriptor);
    LocalFree(openedDescriptor);
    CloseHandle(file);
    FindClose(find);
}

TEST(ListedFile, OpenListingsHoldNoDescriptors) {
    kvtest::TestRoot root;
    std::string folder = root.DriveC();
    std::string windows = "C:";
    for (int level = 0; level < 64; ++level) {
        folder += "/d";
        windows += "\\d";
        fs::create_directory(folder);
        kvtest::WriteTextFile(folder + "/f.txt", std::to_string(level));
    }
    const size_t before = OpenDescriptors();
    std::vector<HANDLE> finds;
    std::string path = "C:";
    for (int level = 0; level < 64; ++level) {
        path += "\\d";
        WIN32_FIND_DATAA data {};
        finds.push_back(FindFirstFileA((path + "\\*.*").c_str(), &data));
        ASSERT_NE(finds.back(), INVALID_HANDLE_VALUE) << level;
    }
    EXPECT_EQ(OpenDescriptors(), before);
    // Files of every level open in turn, from the deepest up, through one
    // shared folder descriptor.
    for (int level = 63; level >= 0; --level) {
        HANDLE file = kv::platform::OpenFoundFile(finds[level], "f.txt", GENERIC_READ, 0, 0);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << level;
        EXPECT_EQ(ReadAll(file), std::to_string(level));
        CloseHandle(file);
        EXPECT_LE(OpenDescriptors(), before + 1);
    }
    for (HANDLE find : finds) FindClose(find);
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
