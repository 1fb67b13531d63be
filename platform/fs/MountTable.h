// The mounts of this process's mount namespace (/proc/self/mountinfo), and
// the Windows drive type each one stands for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform {

struct MountEntry {
    uint64_t id = 0;          // the mount ID (statx's stx_mnt_id)
    unsigned major = 0;       // device of the file system
    unsigned minor = 0;
    std::string mountPoint;   // where it is mounted, unescaped
    std::string fsType;       // "ext4", "nfs4", "fuse.sshfs", ...
    std::string source;       // "/dev/sda1", "server:/export", ...
};

// Parses the text of a mountinfo file; malformed lines are left out.
std::vector<MountEntry> ParseMountInfo(const std::string& text);
// This process's mounts; empty when /proc/self/mountinfo cannot be read.
std::vector<MountEntry> ReadMountTable();

// The mount that holds an existing POSIX path: the one with the path's mount
// ID, or else the last one whose mount point is the longest leading folder of
// the resolved path. Null when none does.
const MountEntry* MountHolding(const std::vector<MountEntry>& table, const std::string& path);

// The drive type (DRIVE_FIXED, DRIVE_REMOTE, ...) of a mount:
//   network file systems (nfs, cifs, smb3, sshfs, ...) and autofs  remote
//   iso9660, udf                                                   CD-ROM
//   tmpfs, ramfs and the kernel's own (proc, sysfs, devtmpfs, ...) RAM disk
//   a block device whose disk says it is removable                 removable
//   any other block device, and overlay, btrfs, zfs, ...           fixed
//   anything else (an unknown FUSE file system)                    unknown
// sysfsRoot is where the kernel's device tree is read ("/sys").
UINT DriveTypeOfMount(const MountEntry& mount, const std::string& sysfsRoot = "/sys");

}  // namespace kv::platform
