// Owners, file times and the attribute byte of real files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/file/File.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/FileTime.h"
#include "platform/fs/Find.h"
#include "platform/fs/Owner.h"
#include "platform/system/SystemInfo.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace fs = std::filesystem;

namespace {

std::string ComputerName() {
    char buffer[64];
    DWORD size = sizeof buffer;
    EXPECT_TRUE(GetComputerNameA(buffer, &size));
    return std::string(buffer, size);
}

// The owner the way the walk reads it: open for READ_CONTROL, ask the
// handle, name the identifier. Returns the lookup's error, 0 on success.
DWORD OwnerOf(const std::string& path, bool folder, std::string& owner) {
    HANDLE file = CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD result = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr,
                                   nullptr, nullptr, &descriptor);
    if (result == ERROR_SUCCESS) {
        char name[260], domain[260];
        DWORD nameLength = 0, domainLength = 0;
        SID_NAME_USE use;
        LookupAccountSidA(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use);
        nameLength = domainLength = 260;
        if (LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use))
            owner = std::string(domain) + "\\" + name;
        else
            result = GetLastError();
        LocalFree(descriptor);
    }
    CloseHandle(file);
    return result;
}

uid_t UnusedUid() {
    for (uid_t uid = 54321; uid < 54421; ++uid)
        if (::getpwuid(uid) == nullptr) return uid;
    return 0;
}

DWORD ByteOf(const std::string& windowsPath) { return GetFileAttributesA(windowsPath.c_str()) & 0xFFu; }

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old, m_had = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (m_had) ::setenv("TZ", m_old.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

FILETIME Ticks(uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint64_t TicksOf(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

TEST(FileSystemOwner, OwnerReadsAsComputerBackslashAccount) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    fs::create_directories(c + "/dir");
    kvtest::WriteTextFile(c + "/file", "x");
    std::string account = ::getpwuid(::geteuid())->pw_name;

    std::string owner;
    EXPECT_EQ(OwnerOf("C:\\file", false, owner), 0u);
    EXPECT_EQ(owner, ComputerName() + "\\" + account);
    owner.clear();
    EXPECT_EQ(OwnerOf("C:\\dir", true, owner), 0u);
    EXPECT_EQ(owner, ComputerName() + "\\" + account);
    EXPECT_EQ(OwnerOf("C:\\absent", false, owner), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileSystemOwner, LookupReportsTheSizesItNeeds) {
    kvtest::TestRoot root;
    kvtest::WriteTextFile(root.DriveC() + "/file", "x");
    char buffer[256];
    DWORD needed = 0;
    EXPECT_FALSE(GetFileSecurityA("C:\\file", OWNER_SECURITY_INFORMATION, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(needed, 0u);
    ASSERT_LE(needed, sizeof buffer);
    ASSERT_TRUE(GetFileSecurityA("C:\\file", OWNER_SECURITY_INFORMATION, buffer + 1, needed, &needed));
    PSID sid = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(buffer + 1, &sid, &defaulted));
    EXPECT_TRUE(IsValidSid(sid));

    std::string account = ::getpwuid(::geteuid())->pw_name;
    std::string computer = ComputerName();
    DWORD nameLength = 0, domainLength = 0;
    SID_NAME_USE use = SidTypeUnknown;
    EXPECT_FALSE(LookupAccountSidA(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(nameLength, account.size() + 1);
    EXPECT_EQ(domainLength, computer.size() + 1);
    char name[260], domain[260];
    ASSERT_TRUE(LookupAccountSidA("", sid, name, &nameLength, domain, &domainLength, &use));
    EXPECT_EQ(std::string(name), account);
    EXPECT_EQ(nameLength, account.size());
    EXPECT_EQ(use, SidTypeUser);
    EXPECT_FALSE(LookupAccountSidA("OTHERMACHINE", sid, name, &nameLength, domain, &domainLength, &use));

    PSID owner = nullptr;
    EXPECT_EQ(GetSecurityInfo(nullptr, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileSystemOwner, AUidWithoutAnAccountIsNoneMapped) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another uid needs root";
    uid_t uid = UnusedUid();
    ASSERT_NE(uid, 0u) << "no unused uid near 54321";
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    kvtest::WriteTextFile(c + "/orphan", "x");
    ASSERT_EQ(::chown((c + "/orphan").c_str(), uid, uid), 0);
    std::string owner;
    EXPECT_EQ(OwnerOf("C:\\orphan", false, owner), static_cast<DWORD>(ERROR_NONE_MAPPED));
    EXPECT_TRUE(owner.empty());

    // A link has an owner of its own, not its target's.
    fs::create_symlink(c + "/orphan", c + "/link");
    owner.clear();
    EXPECT_EQ(OwnerOf("C:\\link", false, owner), 0u);
    EXPECT_EQ(owner, ComputerName() + "\\" + ::getpwuid(0)->pw_name);
    ASSERT_EQ(::lchown((c + "/link").c_str(), uid, uid), 0);
    EXPECT_EQ(OwnerOf("C:\\link", false, owner), static_cast<DWORD>(ERROR_NONE_MAPPED));
}

TEST(FileSystemOwner, ReadingTheOwnerOfAFifoDoesNotWaitForAWriter) {
    kvtest::TestRoot root;
    ASSERT_EQ(::mkfifo((root.DriveC() + "/pipe").c_str(), 0644), 0);
    std::string owner;
    EXPECT_EQ(OwnerOf("C:\\pipe", false, owner), 0u);
    EXPECT_FALSE(owner.empty());
}

TEST(FileSystemAttributes, ChmodOfWriteExecuteSetuidOrSetgidChangesTheByte) {
    kvtest::TestRoot root;
    std::string c = root.DriveC();
    std::string file = c + "/f";
    kvtest::WriteTextFile(file, "x");
    struct Case {
        mode_t mode;
        DWORD byte;
    } cases[] = {
        {0644, 0x00},  // the plain file
        {0444, FILE_ATTRIBUTE_READONLY},
        {0664, KV_ATTRIBUTE_SHARED_WRITE},
        {0646, KV_ATTRIBUTE_SHARED_WRITE},
        {0744, KV_ATTRIBUTE_EXECUTE},
        {0645, KV_ATTRIBUTE_EXECUTE},
        {04744, KV_ATTRIBUTE_EXECUTE | KV_ATTRIBUTE_SETUID},
        {02744, KV_ATTRIBUTE_EXECUTE | KV_ATTRIBUTE_SETGID},
        {06555, FILE_ATTRIBUTE_READONLY | KV_ATTRIBUTE_EXECUTE | KV_ATTRIBUTE_SETUID | KV_ATTRIBUTE_SETGID},
        {0777, KV_ATTRIBUTE_SHARED_WRITE | KV_ATTRIBUTE_EXECUTE},
        {0600, 0x00},  // read permission is not in the byte
    };
    for (const Case& test : cases) {
        ASSERT_EQ(::chmod(file.c_str(), test.mode), 0);
        EXPECT_EQ(ByteOf("C:\\f"), test.byte) << std::oct << test.mode;
    }
    // Each single change a chmod can make from the plain file shows.
    for (mode_t change : {S_IWUSR, S_IWGRP, S_IWOTH, S_IXUSR, S_IXGRP, S_IXOTH, S_ISUID, S_ISGID}) {
        ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
        DWORD before = ByteOf("C:\\f");
        ASSERT_EQ(::chmod(file.c_str(), 0644 ^ change), 0);
        EXPECT_NE(ByteOf("C:\\f"), before) << std::oct << change;
    }

    fs::create_directories(c + "/d");
    ASSERT_EQ(::chmod((c + "/d").c_str(), 0755), 0);
    EXPECT_EQ(ByteOf("C:\\d"), FILE_ATTRIBUTE_DIRECTORY | KV_ATTRIBUTE_EXECUTE);
    kvtest::WriteTextFile(c + "/.hidden", "x");
    ASSERT_EQ(::chmod((c + "/.hidden").c_str(), 0644), 0);
    EXPECT_EQ(ByteOf("C:\\.hidden"), FILE_ATTRIBUTE_HIDDEN);

    // The find data carries the same word.
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\d", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, GetFileAttributesA("C:\\d"));
    FindClose(find);

    EXPECT_EQ(GetFileAttributesA("C:\\absent"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileSystemTimes, EntryTimesAreWriteAccessAndBirthOrChange) {
    kvtest::TestRoot root;
    std::string file = root.DriveC() + "/f";
    kvtest::WriteTextFile(file, "x");
    // 2001-02-03 04:05:06.7890123 UTC written, 1999-12-31 23:59:59 UTC read.
    struct timespec times[2] = {{946684799, 0}, {981173106, 789012300}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    struct statx info {};
    ASSERT_EQ(::statx(AT_FDCWD, file.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info), 0);

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\f", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    EXPECT_EQ(TicksOf(data.ftLastWriteTime), (981173106ull + 11644473600ull) * 10000000ull + 7890123ull);
    EXPECT_EQ(TicksOf(data.ftLastAccessTime), (946684799ull + 11644473600ull) * 10000000ull);
    const struct statx_timestamp& created = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime;
    EXPECT_EQ(kv::platform::UnixSecondsFromFileTime(data.ftCreationTime), created.tv_sec);

    SYSTEMTIME fields {};
    ASSERT_TRUE(FileTimeToSystemTime(&data.ftLastWriteTime, &fields));
    EXPECT_EQ(fields.wYear, 2001);
    EXPECT_EQ(fields.wMonth, 2);
    EXPECT_EQ(fields.wDay, 3);
    EXPECT_EQ(fields.wDayOfWeek, 6);  // a Saturday
    EXPECT_EQ(fields.wHour, 4);
    EXPECT_EQ(fields.wMinute, 5);
    EXPECT_EQ(fields.wSecond, 6);
    EXPECT_EQ(fields.wMilliseconds, 789);
}

TEST(FileSystemTimes, CalendarConversionsRoundTripAndRejectBadFields) {
    SYSTEMTIME earliest {1601, 1, 1, 1, 0, 0, 0, 0};
    FILETIME time {};
    ASSERT_TRUE(SystemTimeToFileTime(&earliest, &time));
    EXPECT_EQ(TicksOf(time), 0u);
    SYSTEMTIME leap {2024, 2, 0, 29, 23, 59, 59, 999};
    ASSERT_TRUE(SystemTimeToFileTime(&leap, &time));
    SYSTEMTIME back {};
    ASSERT_TRUE(FileTimeToSystemTime(&time, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    EXPECT_EQ(back.wMilliseconds, 999);

    for (SYSTEMTIME bad : {SYSTEMTIME{2023, 2, 0, 29, 0, 0, 0, 0}, SYSTEMTIME{1600, 12, 0, 31, 0, 0, 0, 0},
                           SYSTEMTIME{2020, 13, 0, 1, 0, 0, 0, 0}, SYSTEMTIME{2020, 1, 0, 1, 24, 0, 0, 0},
                           SYSTEMTIME{2020, 1, 0, 1, 0, 0, 60, 0}})
        EXPECT_FALSE(SystemTimeToFileTime(&bad, &time)) << bad.wYear << "-" << bad.wMonth;
    FILETIME huge = Ticks(0x8000000000000000ull);
    EXPECT_FALSE(FileTimeToSystemTime(&huge, &back));
    EXPECT_EQ(TicksOf(kv::platform::FileTimeFromUnix(-20000000000LL, 0)), 0u);
}

TEST(FileSystemTimes, LocalTimeUsesTheOffsetOfThatDateAndTheChainGivesBackTheInstant) {
    ScopedTimeZone zone("Europe/Berlin");
    // 2023-07-01 12:00:00 UTC (summer, +2) and 2023-01-15 12:00:00 UTC (winter, +1).
    for (auto [utc, hour] : {std::pair<int64_t, int>{1688212800, 14}, std::pair<int64_t, int>{1673784000, 13}}) {
        FILETIME file = kv::platform::FileTimeFromUnix(utc, 0), local {};
        ASSERT_TRUE(FileTimeToLocalFileTime(&file, &local));
        SYSTEMTIME fields {};
        ASSERT_TRUE(FileTimeToSystemTime(&local, &fields));
        EXPECT_EQ(fields.wHour, hour) << utc;
        // Fields read back as local time, daylight saving from that date.
        struct tm calendar {};
        calendar.tm_year = fields.wYear - 1900;
        calendar.tm_mon = fields.wMonth - 1;
        calendar.tm_mday = fields.wDay;
        calendar.tm_hour = fields.wHour;
        calendar.tm_min = fields.wMinute;
        calendar.tm_sec = fields.wSecond;
        calendar.tm_isdst = -1;
        EXPECT_EQ(static_cast<int64_t>(std::mktime(&calendar)), utc);
        FILETIME again {};
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &again));
        EXPECT_EQ(TicksOf(again), TicksOf(file));
    }
}
