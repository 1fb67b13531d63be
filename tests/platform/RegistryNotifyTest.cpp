// Change notification of registry keys: what signals a watch and what must
// not. A change that must not signal is checked against a later change to a
// second watched key: the watches share one queue, read in order, so once the
// second has fired the first has seen everything that came before.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry/Registry.h"
#include "platform/sync/Event.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

const char* const kWatched = "SOFTWARE\\Notify\\Config";
const char* const kSentinel = "SOFTWARE\\Notify\\Sentinel";
const DWORD kValuesAndKeys = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

HKEY Create(const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

void SetNumber(HKEY key, const char* name, DWORD value) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
}

bool Signalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
bool SignalledSoon(HANDLE event) { return WaitForSingleObject(event, 30000) == WAIT_OBJECT_0; }

class RegistryNotify : public ::testing::Test {
protected:
    void SetUp() override {
        key = Create(kWatched);
        sentinelKey = Create(kSentinel);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        sentinelEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        SetNumber(key, "STARTNOW", 0);
    }
    void TearDown() override {
        RegCloseKey(key);
        RegCloseKey(sentinelKey);
        CloseHandle(event);
        CloseHandle(sentinelEvent);
    }
    // True when the watched key's event stayed clear through everything
    // done before this call.
    bool StayedQuiet() {
        EXPECT_EQ(RegNotifyChangeKeyValue(sentinelKey, FALSE, kValuesAndKeys, sentinelEvent, TRUE), ERROR_SUCCESS);
        SetNumber(sentinelKey, "Tick", 1);
        EXPECT_TRUE(SignalledSoon(sentinelEvent));
        return !Signalled(event);
    }
    std::string Folder() const { return root.Path() + "/registry/HKLM/SOFTWARE/Notify/Config"; }

    kvtest::TestRoot root;
    HKEY key = nullptr;
    HKEY sentinelKey = nullptr;
    HANDLE event = nullptr;
    HANDLE sentinelEvent = nullptr;
};

TEST_F(RegistryNotify, ValueWrittenByAnotherHandleSignalsOnce) {
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, event, TRUE), ERROR_SUCCESS);
    // Reads and opens are no change.
    DWORD value = 7, size = sizeof value;
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\notify\\config", 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(reader, "startnow", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_TRUE(StayedQuiet());

    SetNumber(reader, "StartNow", 1);
    EXPECT_TRUE(SignalledSoon(event));
    // One notification per arming: a later change is not reported until the
    // key is watched again.
    ResetEvent(event);
    SetNumber(reader, "STARTNOW", 2);
    EXPECT_TRUE(StayedQuiet());
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, event, TRUE), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(reader, "STARTNOW"), ERROR_SUCCESS);
    EXPECT_TRUE(SignalledSoon(event));
    RegCloseKey(reader);
}

TEST_F(RegistryNotify, ATemporaryFileAloneIsNoChangeButAnInPlaceWriteIs) {
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, event, TRUE), ERROR_SUCCESS);
    // What a writer leaves for a moment before its rename.
    std::string temporary = Folder() + "/.tmp.1.1";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "\4\0\0\0\1\0\0\0", 8), 8);
    ::close(fd);
    ::unlink(temporary.c_str());
    EXPECT_TRUE(StayedQuiet());

    // Some other program rewriting a value's file where it lies.
    fd = ::open((Folder() + "/STARTNOW").c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "\4\0\0\0\3\0\0\0", 8), 8);
    ::close(fd);
    EXPECT_TRUE(SignalledSoon(event));
}

TEST_F(RegistryNotify, FilterAndSubtreeDecideWhatCounts) {
    // Sub-keys only: a value change is not looked at.
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME, event, TRUE), ERROR_SUCCESS);
    SetNumber(key, "DEBUG", 1);
    EXPECT_TRUE(StayedQuiet());
    HKEY child = Create("SOFTWARE\\Notify\\Config\\Child");
    EXPECT_TRUE(SignalledSoon(event));

    // Below the key: only a watch of the subtree sees it.
    ResetEvent(event);
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, event, TRUE), ERROR_SUCCESS);
    SetNumber(child, "Inner", 1);
    EXPECT_TRUE(StayedQuiet());
    RegCloseKey(key);  // ends that watch, and signals its event as Windows does
    EXPECT_TRUE(Signalled(event));
    key = Create(kWatched);
    ResetEvent(event);
    ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, kValuesAndKeys, event, TRUE), ERROR_SUCCESS);
    SetNumber(child, "Inner", 2);
    EXPECT_TRUE(SignalledSoon(event));
    RegCloseKey(child);
}

TEST_F(RegistryNotify, DeletedKeySignalsAndCannotBeWatchedUntilItIsBack) {
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, event, TRUE), ERROR_SUCCESS);
    fs::remove_all(root.Path() + "/registry/HKLM/SOFTWARE/Notify/Config");
    EXPECT_TRUE(SignalledSoon(event));
    ResetEvent(event);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, event, TRUE), ERROR_KEY_DELETED);

    // The key above it sees it come back.
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Notify", 0, KEY_NOTIFY, &parent), ERROR_SUCCESS);
    ASSERT_EQ(RegNotifyChangeKeyValue(parent, FALSE, REG_NOTIFY_CHANGE_NAME, event, TRUE), ERROR_SUCCESS);
    HKEY again = Create(kWatched);
    EXPECT_TRUE(SignalledSoon(event));
    RegCloseKey(again);
    RegCloseKey(parent);
}

TEST_F(RegistryNotify, SynchronousWatchReturnsAtTheChange) {
    std::thread writer([] {
        HKEY other = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWatched, 0, KEY_WRITE, &other), ERROR_SUCCESS);
        // Until the watch is armed a single write could come too early; a
        // few rewrites, spaced out, leave it no chance to miss them all.
        for (DWORD i = 1; i <= 200; ++i) {
            SetNumber(other, "STARTNOW", i);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            DWORD done = 0, size = sizeof done;
            if (RegQueryValueExA(other, "Done", nullptr, nullptr, reinterpret_cast<LPBYTE>(&done), &size) ==
                ERROR_SUCCESS)
                break;
        }
        RegCloseKey(other);
    });
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE), ERROR_SUCCESS);
    HKEY done = Create(kWatched);
    SetNumber(done, "Done", 1);
    RegCloseKey(done);
    writer.join();
}

TEST_F(RegistryNotify, BadArguments) {
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, kValuesAndKeys, nullptr, TRUE), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, 0, event, TRUE), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, 0x100, event, TRUE), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(nullptr, FALSE, kValuesAndKeys, event, TRUE), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(Signalled(event));
}

}  // namespace
