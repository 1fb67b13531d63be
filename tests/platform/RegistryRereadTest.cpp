// Keys and values read again and again, as the agent service reads its
// settings at every poll: what the registry remembers from earlier reads
// must never hide a change made since, by this process or another.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry/Registry.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

const char* const kKey = "SOFTWARE\\Reread\\Config";

LONG OpenKey(const char* path, HKEY& key) { return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key); }

LONG ReadNumber(const char* path, const char* name, DWORD& value) {
    HKEY key = nullptr;
    LONG rc = OpenKey(path, key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD size = sizeof value;
    rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    return rc;
}

void WriteNumber(const char* path, const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(RegistryReread, DeletedAndRecreatedKeysAreFoundAfresh) {
    kvtest::TestRoot root;
    WriteNumber(kKey, "STARTNOW", 1);
    DWORD value = 0;
    ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);

    // Removed behind the process's back, as an uninstallation would.
    fs::remove_all(root.Path() + "/registry/HKLM/SOFTWARE/Reread");
    HKEY key = nullptr;
    EXPECT_EQ(OpenKey(kKey, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenKey("software\\reread\\config", key), ERROR_FILE_NOT_FOUND);

    // Created again in another spelling: the old one must not be assumed.
    WriteNumber("software\\REREAD\\config", "startnow", 2);
    ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
    EXPECT_TRUE(fs::is_directory(root.Path() + "/registry/HKLM/SOFTWARE/REREAD/config"));
}

TEST(RegistryReread, ValueGoneOrReplacedIsSeenAtOnce) {
    kvtest::TestRoot root;
    WriteNumber(kKey, "DEBUG", 1);
    DWORD value = 0;
    ASSERT_EQ(ReadNumber(kKey, "DEBUG", value), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, "debug"), ERROR_SUCCESS);
    RegCloseKey(key);
    value = 7;
    EXPECT_EQ(ReadNumber(kKey, "DEBUG", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 7u);  // a failed read leaves the destination alone

    // Rewritten many times in quick succession, each read sees the last write.
    for (DWORD i = 0; i < 50; ++i) {
        WriteNumber(kKey, "Debug", i);
        ASSERT_EQ(ReadNumber(kKey, "DEBUG", value), ERROR_SUCCESS);
        ASSERT_EQ(value, i);
    }
}

// Two writes within one tick of the file system's clock can leave the same
// inode, time and size (a freed inode number comes back at once). That is
// played here by rewriting the file in place and putting its time back.
TEST(RegistryReread, AWriteInTheSameClockTickIsNotHiddenByAnEarlierRead) {
    kvtest::TestRoot root;
    WriteNumber(kKey, "STARTNOW", 1);
    DWORD value = 0;
    ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
    ASSERT_EQ(value, 1u);

    const std::string file = root.Path() + "/registry/HKLM/SOFTWARE/Reread/Config/STARTNOW";
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const DWORD two = 2;
    ASSERT_EQ(::pwrite(fd, &two, sizeof two, 4), static_cast<ssize_t>(sizeof two));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);

    ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
}

// A number counted up by one thread, rewritten where it lies, while another
// reads it: every read gives a number that was written, never a step back
// (a half-written number past a byte boundary, 0xFF to 0x100, would be one).
TEST(RegistryReread, ReadersNeverSeeHalfOfAValueBeingRewritten) {
    kvtest::TestRoot root;
    const DWORD last = 3000;
    WriteNumber(kKey, "INCIDENTID", 0);
    std::thread writer([&] {
        for (DWORD i = 1; i <= last; ++i) WriteNumber(kKey, "INCIDENTID", i);
    });
    DWORD seen = 0;
    while (seen != last) {
        DWORD value = 0;
        if (ReadNumber(kKey, "INCIDENTID", value) != ERROR_SUCCESS || value < seen || value > last) {
            ADD_FAILURE() << "read " << value << " after " << seen;
            break;
        }
        seen = value;
    }
    writer.join();
}

// Another process holds the value's file lock and stops there; until the
// pipe closes.
class HeldLock {
public:
    HeldLock(const std::string& file, int how) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            int fd = ::open(file.c_str(), O_RDONLY);
            char c = fd >= 0 && ::flock(fd, how) == 0 ? 'y' : 'n';
            if (::write(ready[1], &c, 1) != 1) ::_exit(1);
            ::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = 'n';
        m_held = ::read(ready[0], &c, 1) == 1 && c == 'y';
        ::close(ready[0]);
    }
    ~HeldLock() {
        ::close(m_release);
        if (m_child > 0) ::waitpid(m_child, nullptr, 0);
    }
    bool Held() const { return m_held; }

private:
    pid_t m_child = -1;
    int m_release = -1;
    bool m_held = false;
};

TEST(RegistryReread, AValueLockedByAStoppedProcessIsStillReadAndWritten) {
    kvtest::TestRoot root;
    WriteNumber(kKey, "STARTNOW", 1);
    const std::string file = root.Path() + "/registry/HKLM/SOFTWARE/Reread/Config/STARTNOW";
    DWORD value = 0;
    {
        HeldLock reader(file, LOCK_SH);
        ASSERT_TRUE(reader.Held());
        WriteNumber(kKey, "STARTNOW", 0);
        ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
        EXPECT_EQ(value, 0u);
    }
    {
        HeldLock writer(file, LOCK_EX);
        ASSERT_TRUE(writer.Held());
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
        EXPECT_EQ(value, 0u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        WriteNumber(kKey, "STARTNOW", 1);
        ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
        EXPECT_EQ(value, 1u);
    }
}

TEST(RegistryReread, EachRootHasItsOwnKeys) {
    DWORD value = 0;
    {
        kvtest::TestRoot first;
        WriteNumber(kKey, "STARTNOW", 1);
        ASSERT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_SUCCESS);
    }
    kvtest::TestRoot second;
    EXPECT_EQ(ReadNumber(kKey, "STARTNOW", value), ERROR_FILE_NOT_FOUND);
}

}  // namespace
