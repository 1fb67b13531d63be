#include "platform/fs/MountTable.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/fs/Drives.h"

namespace kv::platform {
namespace {

// mountinfo writes space, tab, newline and backslash as \040, \011, \012, \134.
std::string Unescape(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' &&
            field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

bool IsOneOf(const std::string& value, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (value == name) return true;
    return false;
}

bool StartsWith(const std::string& value, const char* prefix) {
    return value.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ReadsOne(const std::string& file) {
    std::ifstream in(file);
    std::string value;
    return in && (in >> value) && value == "1";
}

// Whether the disk holding a block device says its media can be removed;
// a partition asks its disk.
bool IsRemovableDevice(unsigned major, unsigned minor, const std::string& sysfsRoot) {
    std::string device = sysfsRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    struct stat info {};
    if (::stat((device + "/partition").c_str(), &info) == 0) return ReadsOne(device + "/../removable");
    return ReadsOne(device + "/removable");
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    std::vector<MountEntry> table;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        std::string part;
        while (fields >> part) parts.push_back(part);
        // id parent major:minor root mount-point options [optional...] - type source super
        auto separator = std::find(parts.begin(), parts.end(), "-");
        if (parts.size() < 7 || separator == parts.end() || separator - parts.begin() < 6 ||
            parts.end() - separator < 3)
            continue;
        MountEntry entry;
        char* end = nullptr;
        entry.id = std::strtoull(parts[0].c_str(), &end, 10);
        if (*end != '\0') continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(parts[2].c_str(), "%u:%u", &major, &minor) != 2) continue;
        entry.major = major;
        entry.minor = minor;
        entry.mountPoint = Unescape(parts[4]);
        entry.fsType = Unescape(*(separator + 1));
        entry.source = Unescape(*(separator + 2));
        table.push_back(std::move(entry));
    }
    return table;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    if (!in) return {};
    std::stringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

const MountEntry* MountHolding(const std::vector<MountEntry>& table, const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, STATX_MNT_ID, &info) == 0 &&
        (info.stx_mask & STATX_MNT_ID) != 0) {
        for (const MountEntry& entry : table)
            if (entry.id == info.stx_mnt_id) return &entry;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return nullptr;
    std::string real(resolved);
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : table) {
        const std::string& point = entry.mountPoint;
        bool holds = point == "/" ||
                     (real.compare(0, point.size(), point) == 0 &&
                      (real.size() == point.size() || real[point.size()] == '/'));
        // A later mount over the same point hides the earlier one.
        if (holds && (best == nullptr || point.size() >= best->mountPoint.size())) best = &entry;
    }
    return best;
}

UINT DriveTypeOfMount(const MountEntry& mount, const std::string& sysfsRoot) {
    const std::string& type = mount.fsType;
    if (IsOneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph",
                       "glusterfs", "lustre", "davfs", "sshfs", "fuse.sshfs", "fuse.rclone",
                       "fuse.s3fs", "fuse.glusterfs", "fuse.davfs2", "autofs"}))
        return DRIVE_REMOTE;
    if (IsOneOf(type, {"iso9660", "udf"})) return DRIVE_CDROM;
    if (IsOneOf(type, {"tmpfs", "ramfs", "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2",
                       "securityfs", "debugfs", "tracefs", "pstore", "bpf", "configfs", "fusectl",
                       "mqueue", "hugetlbfs", "efivarfs", "binfmt_misc", "rpc_pipefs", "nsfs",
                       "selinuxfs"}))
        return DRIVE_RAMDISK;
    unsigned major = mount.major, minor = mount.minor;
    if (major == 0 && StartsWith(mount.source, "/dev/")) {
        // btrfs and a few others show an anonymous device; the source names
        // the real one.
        struct stat info {};
        if (::stat(mount.source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
            major = ::major(info.st_rdev);
            minor = ::minor(info.st_rdev);
        }
    }
    if (major != 0) return IsRemovableDevice(major, minor, sysfsRoot) ? DRIVE_REMOVABLE : DRIVE_FIXED;
    if (IsOneOf(type, {"overlay", "aufs", "btrfs", "zfs", "bcachefs", "xfs", "ext4", "ext3", "ext2",
                       "f2fs", "fuseblk", "fuse.ntfs-3g"}))
        return DRIVE_FIXED;
    return DRIVE_UNKNOWN;
}

}  // namespace kv::platform
