// Drive letters, drive types and the current directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <linux/magic.h>

#include <filesystem>
#include <string>

#include "platform/fs/Drives.h"
#include "platform/fs/MountTable.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace fs = std::filesystem;
using kv::platform::DriveTypeOfMount;
using kv::platform::MountEntry;
using kv::platform::ParseMountInfo;

namespace {

bool OnTmpfs(const std::string& path) {
    struct statfs info {};
    return ::statfs(path.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC;
}

MountEntry Mount(const char* type, unsigned major, unsigned minor, const char* source = "none") {
    MountEntry entry;
    entry.fsType = type;
    entry.major = major;
    entry.minor = minor;
    entry.source = source;
    return entry;
}

}  // namespace

TEST(FileSystemDrives, LettersComeFromTheDriveMapDanglingLinksIncluded) {
    kvtest::TestRoot root;
    root.MapDrive('d', root.Path() + "/missing");
    root.MapDrive('z', root.DriveC());
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 25));

    char buffer[64];
    DWORD n = GetLogicalDriveStringsA(sizeof buffer, buffer);
    ASSERT_EQ(n, 12u);
    EXPECT_EQ(std::string(buffer, n + 1), std::string("C:\\\0D:\\\0Z:\\\0", 13));
    EXPECT_EQ(GetLogicalDriveStringsA(5, buffer), 13u);
}

TEST(FileSystemDrives, TypeFollowsTheMountThatHoldsTheTarget) {
    kvtest::TestRoot root;
    UINT local = OnTmpfs(root.DriveC()) ? DRIVE_RAMDISK : DRIVE_FIXED;
    EXPECT_EQ(GetDriveTypeA("C:"), local);
    EXPECT_EQ(GetDriveTypeA("c:\\"), local);
    EXPECT_EQ(GetDriveTypeA("C:/"), local);

    root.MapDrive('p', "/proc");
    EXPECT_EQ(GetDriveTypeA("P:\\"), DRIVE_RAMDISK);
    if (OnTmpfs("/dev/shm")) {
        root.MapDrive('r', "/dev/shm");
        EXPECT_EQ(GetDriveTypeA("R:"), DRIVE_RAMDISK);
    }

    root.MapDrive('d', root.Path() + "/missing");
    kvtest::WriteTextFile(root.Path() + "/file", "x");
    root.MapDrive('f', root.Path() + "/file");
    EXPECT_EQ(GetDriveTypeA("D:"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("F:"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("Q:"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("C:\\sub"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("1:"), DRIVE_NO_ROOT_DIR);
}

TEST(FileSystemDrives, MountTypesMapToDriveTypes) {
    EXPECT_EQ(DriveTypeOfMount(Mount("nfs4", 0, 51, "server:/export")), DRIVE_REMOTE);
    EXPECT_EQ(DriveTypeOfMount(Mount("cifs", 0, 52, "//server/share")), DRIVE_REMOTE);
    EXPECT_EQ(DriveTypeOfMount(Mount("smb3", 0, 52)), DRIVE_REMOTE);
    EXPECT_EQ(DriveTypeOfMount(Mount("fuse.sshfs", 0, 53, "me@host:/")), DRIVE_REMOTE);
    EXPECT_EQ(DriveTypeOfMount(Mount("iso9660", 11, 0, "/dev/sr0")), DRIVE_CDROM);
    EXPECT_EQ(DriveTypeOfMount(Mount("udf", 11, 0, "/dev/sr0")), DRIVE_CDROM);
    EXPECT_EQ(DriveTypeOfMount(Mount("tmpfs", 0, 23)), DRIVE_RAMDISK);
    EXPECT_EQ(DriveTypeOfMount(Mount("ramfs", 0, 24)), DRIVE_RAMDISK);
    EXPECT_EQ(DriveTypeOfMount(Mount("sysfs", 0, 22)), DRIVE_RAMDISK);
    EXPECT_EQ(DriveTypeOfMount(Mount("overlay", 0, 40, "overlay")), DRIVE_FIXED);
    EXPECT_EQ(DriveTypeOfMount(Mount("fuse.something", 0, 60, "thing")), DRIVE_UNKNOWN);
}

TEST(FileSystemDrives, BlockDevicesAreRemovableWhenTheirDiskSaysSo) {
    kvtest::TestRoot root;
    // A device tree of our own: disk 8:16 removable with partition 8:17,
    // disk 8:0 fixed.
    std::string sys = root.Path() + "/sys";
    fs::create_directories(sys + "/devices/sdb/sdb1");
    fs::create_directories(sys + "/devices/sda");
    fs::create_directories(sys + "/dev/block");
    kvtest::WriteTextFile(sys + "/devices/sdb/removable", "1\n");
    kvtest::WriteTextFile(sys + "/devices/sdb/sdb1/partition", "1\n");
    kvtest::WriteTextFile(sys + "/devices/sda/removable", "0\n");
    fs::create_directory_symlink(sys + "/devices/sdb/sdb1", sys + "/dev/block/8:17");
    fs::create_directory_symlink(sys + "/devices/sdb", sys + "/dev/block/8:16");
    fs::create_directory_symlink(sys + "/devices/sda", sys + "/dev/block/8:0");

    EXPECT_EQ(DriveTypeOfMount(Mount("vfat", 8, 17, "/dev/sdb1"), sys), DRIVE_REMOVABLE);
    EXPECT_EQ(DriveTypeOfMount(Mount("ext4", 8, 16, "/dev/sdb"), sys), DRIVE_REMOVABLE);
    EXPECT_EQ(DriveTypeOfMount(Mount("ext4", 8, 0, "/dev/sda"), sys), DRIVE_FIXED);
    // A device the tree does not know is a fixed disk.
    EXPECT_EQ(DriveTypeOfMount(Mount("xfs", 253, 3, "/dev/dm-3"), sys), DRIVE_FIXED);
}

TEST(FileSystemDrives, MountInfoIsParsedAndTheLastLongestMountHolds) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    std::string spaced = c + "/with space";
    fs::create_directories(spaced);
    std::string text =
        "900001 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "garbage line\n"
        "900002 900001 0:50 / " + c + " rw master:2 - tmpfs tmpfs rw\n"
        "900003 900002 0:51 / " + c + " rw - nfs4 srv:/x rw\n"
        "900004 900003 0:52 / " + c + "/with\\040space rw - cifs //s/h rw\n";
    auto table = ParseMountInfo(text);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0].major, 254u);
    EXPECT_EQ(table[0].source, "/dev/vda");
    EXPECT_EQ(table[3].mountPoint, spaced);
    EXPECT_EQ(table[3].fsType, "cifs");

    const MountEntry* holder = kv::platform::MountHolding(table, c + "/.");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->id, 900003u);
    holder = kv::platform::MountHolding(table, spaced);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->id, 900004u);
    holder = kv::platform::MountHolding(table, root.Path());
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->id, 900001u);
}

TEST(FileSystemDrives, CurrentDirectoryIsKeptPerProcessInWindowsForm) {
    kvtest::TestRoot root;
    fs::create_directories(root.DriveC() + "/sub");
    kvtest::WriteTextFile(root.DriveC() + "/file", "x");
    root.MapDrive('d', root.Path() + "/missing");
    std::string before = fs::current_path().string();

    ASSERT_TRUE(SetCurrentDirectoryA("C:"));
    char buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_EQ(std::string(buffer, n), "C:\\");

    EXPECT_FALSE(SetCurrentDirectoryA("D:"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(SetCurrentDirectoryA("Q:"));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\file"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    n = GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_EQ(std::string(buffer, n), "C:\\");

    ASSERT_TRUE(SetCurrentDirectoryA("c:\\sub\\"));
    n = GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_EQ(std::string(buffer, n), "C:\\sub");
    // "C:" keeps the current directory when it is already on C.
    ASSERT_TRUE(SetCurrentDirectoryA("C:"));
    n = GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_EQ(std::string(buffer, n), "C:\\sub");
    EXPECT_EQ(GetCurrentDirectoryA(3, buffer), 7u);

    // The process's own working folder is left alone.
    EXPECT_EQ(fs::current_path().string(), before);
}
