// Folder enumeration on real folders: order, dots, errors, links, special
// files, mount points and names a Windows path cannot carry.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/fs/Attributes.h"
#include "platform/fs/Find.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace fs = std::filesystem;
using kv::platform::HasFileContent;
using kv::platform::IsRepresentableName;
using kv::platform::IsWalkableFolder;

namespace {

struct Listing {
    bool ok = false;
    DWORD error = 0;      // of FindFirstFileA, or of the FindNextFileA that ended it
    std::vector<std::string> order;
    std::map<std::string, WIN32_FIND_DATAA> entries;
};

Listing List(const std::string& pattern) {
    Listing listing;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        listing.error = GetLastError();
        return listing;
    }
    listing.ok = true;
    do {
        listing.order.push_back(data.cFileName);
        listing.entries[data.cFileName] = data;
    } while (FindNextFileA(find, &data));
    listing.error = GetLastError();
    EXPECT_TRUE(FindClose(find));
    return listing;
}

uint64_t Size(const WIN32_FIND_DATAA& data) {
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void MakeSparse(const std::string& path, off_t size) {
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// Runs body in a child process; the test fails unless it exits 0.
template <typename Body>
void InChild(Body body) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(body());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

TEST(FileSystemFind, DotsComeFirstExceptInADriveRoot) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    fs::create_directories(c + "/dir/sub");
    kvtest::WriteTextFile(c + "/dir/b.txt", "12345");
    kvtest::WriteTextFile(c + "/dir/a", "");
    kvtest::WriteTextFile(c + "/top.txt", "x");

    for (const char* pattern : {"C:\\dir\\*.*", "C:\\dir\\*", "c:/dir/*.*"}) {
        Listing listing = List(pattern);
        ASSERT_TRUE(listing.ok) << pattern;
        ASSERT_EQ(listing.order.size(), 5u) << pattern;
        EXPECT_EQ(listing.order[0], ".");
        EXPECT_EQ(listing.order[1], "..");
        EXPECT_EQ(listing.error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(listing.entries["."].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_FALSE(listing.entries["."].dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_TRUE(IsWalkableFolder(listing.entries["sub"]));
        EXPECT_EQ(Size(listing.entries["sub"]), 0u);
        EXPECT_EQ(Size(listing.entries["b.txt"]), 5u);
        EXPECT_TRUE(HasFileContent(listing.entries["a"]));
    }

    Listing top = List("C:\\*.*");
    ASSERT_TRUE(top.ok);
    EXPECT_EQ(top.order.size(), 2u);
    EXPECT_EQ(top.entries.count("."), 0u);
    EXPECT_EQ(top.entries.count("dir"), 1u);
    EXPECT_EQ(top.entries.count("top.txt"), 1u);
}

TEST(FileSystemFind, EmptyFoldersMissingFoldersAndPatterns) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();

    // An empty drive root has nothing, not even dots.
    Listing empty = List("C:\\*.*");
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    fs::create_directories(c + "/empty");
    Listing dots = List("C:\\empty\\*.*");
    ASSERT_TRUE(dots.ok);
    EXPECT_EQ(dots.order, (std::vector<std::string>{".", ".."}));

    EXPECT_EQ(List("C:\\missing\\*.*").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(List("Q:\\*.*").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    kvtest::WriteTextFile(c + "/file", "x");
    EXPECT_EQ(List("C:\\file\\*.*").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    kvtest::WriteTextFile(c + "/empty/Report.TXT", "x");
    kvtest::WriteTextFile(c + "/empty/notes.txt.bak", "x");
    kvtest::WriteTextFile(c + "/empty/noext", "x");
    Listing txt = List("C:\\empty\\*.txt");
    ASSERT_TRUE(txt.ok);
    EXPECT_EQ(txt.order, (std::vector<std::string>{"Report.TXT"}));
    Listing all = List("C:\\empty\\*.*");
    EXPECT_EQ(all.entries.count("noext"), 1u);

    // A name without wildcards describes that one entry.
    Listing one = List("C:\\empty\\noext");
    EXPECT_EQ(one.order, (std::vector<std::string>{"noext"}));
    EXPECT_EQ(List("C:\\empty\\absent").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(List("C:\\empty\\").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileSystemFind, SizesAboveFourGigabytesKeepBothHalves) {
    kvtest::TestRoot root;
    MakeSparse(root.DriveC() + "/three", 3000000000LL);
    MakeSparse(root.DriveC() + "/five", 5LL << 30);
    Listing listing = List("C:\\*.*");
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(listing.entries["three"].nFileSizeHigh, 0u);
    EXPECT_EQ(listing.entries["three"].nFileSizeLow, 3000000000u);
    EXPECT_EQ(static_cast<int32_t>(listing.entries["three"].nFileSizeLow), -1294967296);
    EXPECT_EQ(listing.entries["five"].nFileSizeHigh, 1u);
    EXPECT_EQ(listing.entries["five"].nFileSizeLow, 1073741824u);
}

TEST(FileSystemFind, AFolderThatDeniesListingIsAccessDenied) {
    kvtest::TestRoot root;
    std::string secret = root.DriveC() + "/SECRET";
    fs::create_directories(secret);
    kvtest::WriteTextFile(secret + "/inside", "x");
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    auto check = [] {
        Listing listing = List("C:\\SECRET\\*.*");
        if (listing.ok) return 1;
        return listing.error == static_cast<DWORD>(ERROR_ACCESS_DENIED) ? 0 : 2;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(check(), 0);
        return;
    }
    // Root reads any folder: the check runs in a child that has given up
    // root for an unprivileged account, over a root it may search.
    for (std::string path : {root.Path(), root.Path() + "/dosdevices", root.DriveC()})
        ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
    InChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            return 3;
        return check();
    });
    // The parent still lists it.
    EXPECT_TRUE(List("C:\\SECRET\\*.*").ok);
}

TEST(FileSystemFind, LinksAreEntriesOfTheirOwnAndNeverFollowed) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    fs::create_directories(c + "/real/deep");
    kvtest::WriteTextFile(c + "/real/file", "content");
    fs::create_directory_symlink(c + "/real", c + "/to_dir");
    fs::create_symlink(c + "/real/file", c + "/to_file");
    fs::create_symlink(c + "/nowhere", c + "/dangling");
    fs::create_directory_symlink("/", c + "/to_root");

    Listing listing = List("C:\\*.*");
    ASSERT_TRUE(listing.ok);
    for (const char* name : {"to_dir", "to_file", "dangling", "to_root"}) {
        const WIN32_FIND_DATAA& data = listing.entries[name];
        EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << name;
        EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) << name;
        EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) << name;
        EXPECT_EQ(data.dwReserved0, IO_REPARSE_TAG_SYMLINK) << name;
        EXPECT_FALSE(HasFileContent(data)) << name;
        EXPECT_FALSE(IsWalkableFolder(data)) << name;
    }
    EXPECT_EQ(Size(listing.entries["to_file"]), (c + "/real/file").size());

    // Nothing below a drive root is reached through a link.
    EXPECT_EQ(List("C:\\to_dir\\*.*").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(List("C:\\to_root\\*.*").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(List("C:\\to_dir\\deep\\*.*").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // ".." never climbs out of the drive.
    Listing up = List("C:\\real\\..\\..\\..\\*.*");
    ASSERT_TRUE(up.ok);
    EXPECT_EQ(up.entries.count("real"), 1u);

    EXPECT_EQ(GetFileAttributesA("C:\\to_dir"), listing.entries["to_dir"].dwFileAttributes);
    EXPECT_EQ(GetFileAttributesA("C:\\dangling"), listing.entries["dangling"].dwFileAttributes);
}

TEST(FileSystemFind, FifosSocketsAndDevicesAreListedWithoutBeingOpened) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    ASSERT_EQ(::mkfifo((c + "/pipe").c_str(), 0644), 0);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::string socketPath = c + "/sock";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    bool device = ::mknod((c + "/null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0 &&
                  ::chmod((c + "/null").c_str(), 0666) == 0;

    // A FIFO without a writer would block anything that opened it.
    Listing listing = List("C:\\*.*");
    ::close(sock);
    ASSERT_TRUE(listing.ok);
    std::vector<std::string> special = {"pipe", "sock"};
    if (device) special.push_back("null");
    for (const std::string& name : special) {
        const WIN32_FIND_DATAA& data = listing.entries[name];
        EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) << name;
        EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << name;
        EXPECT_FALSE(HasFileContent(data)) << name;
        EXPECT_EQ(Size(data), 0u) << name;
    }
    EXPECT_EQ(listing.entries["pipe"].dwFileAttributes, FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(GetFileAttributesA("C:\\pipe"), listing.entries["pipe"].dwFileAttributes);
}

TEST(FileSystemFind, NamesHoldingABackslashAreListedAndFlaggedUnrepresentable) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    fs::create_directories(c + "/a");
    kvtest::WriteTextFile(c + "/a/b", "the file a\\b must not be taken for");
    kvtest::WriteTextFile(c + "/a\\b", "a name of its own");
    Listing listing = List("C:\\*.*");
    ASSERT_TRUE(listing.ok);
    ASSERT_EQ(listing.entries.count("a\\b"), 1u);
    EXPECT_FALSE(IsRepresentableName("a\\b"));
    EXPECT_FALSE(IsRepresentableName(""));
    EXPECT_TRUE(IsRepresentableName("a b.txt"));
    EXPECT_TRUE(IsRepresentableName("caf\xc3\xa9"));
}

TEST(FileSystemFind, ADriveOnTheRootNeverLeadsIntoTheKernelsFileSystems) {
    kvtest::TestRoot root;
    root.MapDrive('c', "/");
    Listing listing = List("C:\\*.*");
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(listing.entries.count("."), 0u);
    for (const char* name : {"proc", "sys", "dev", "run"}) {
        auto it = listing.entries.find(name);
        if (it == listing.entries.end()) continue;
        struct statx info {};
        ASSERT_EQ(::statx(AT_FDCWD, (std::string("/") + name).c_str(), AT_SYMLINK_NOFOLLOW,
                          STATX_BASIC_STATS, &info), 0);
        bool mounted = (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                       (info.stx_attributes & STATX_ATTR_MOUNT_ROOT);
        if (!mounted) continue;
        EXPECT_FALSE(IsWalkableFolder(it->second)) << name;
        EXPECT_EQ(it->second.dwReserved0, IO_REPARSE_TAG_MOUNT_POINT) << name;
        EXPECT_TRUE(it->second.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << name;
    }
    EXPECT_TRUE(listing.entries.count("proc") && !IsWalkableFolder(listing.entries["proc"]));
}

TEST(FileSystemFind, AMountIsEnteredOnlyWhenAWalkedDriveMapsToIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    fs::create_directories(c + "/source/content");
    fs::create_directories(c + "/mounted");
    // In a mount namespace of its own, so nothing outlives the child.
    InChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return 0;  // no mount namespaces here: nothing to show
        if (::mount((c + "/source").c_str(), (c + "/mounted").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return 0;
        Listing before = List("C:\\*.*");
        if (!before.ok || IsWalkableFolder(before.entries["mounted"])) return 4;
        if (before.entries["mounted"].dwReserved0 != IO_REPARSE_TAG_MOUNT_POINT) return 5;
        root.MapDrive('d', c + "/mounted");
        Listing after = List("C:\\*.*");
        if (!after.ok || !IsWalkableFolder(after.entries["mounted"])) return 6;
        return 0;
    });
}
