#include "engine/fingerprint/FingerPrint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/Settings.h"
#include "engine/EngineState.h"
#include "platform/file/File.h"
#include "tests/fixtures/SpecialFiles.h"
#include "tests/fixtures/TestRoot.h"

namespace {

const char kUntouched[] = "untouched";

class FingerPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        root.CreateSettingsKey();
        LoadProductStrings();
        root.EnableDebugLog(7);
        GetDebugSettingsFromRegistry();
        std::strcpy(output, kUntouched);
    }
    void TearDown() override {
        g_pStopFlag = nullptr;
        g_dwDebug = 0;
    }

    std::string Log() const { return kvtest::ReadTextFile(root.DriveC() + "/Logs/KvAgentDbg.txt"); }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    // A file on drive C: with the given content; returns its Windows path.
    std::string MakeFile(const std::string& name, const std::string& content) const {
        kvtest::WriteTextFile(root.DriveC() + "/" + name, content);
        return root.OnDriveC(root.DriveC() + "/" + name);
    }

    static std::string StringPrint(const std::string& text) {
        char fingerprint[MD5_TEXT_CHARS];
        EXPECT_EQ(FingerPrintString(text.c_str(), fingerprint), S_OK);
        return fingerprint;
    }

    kvtest::TestRoot root;
    char output[MD5_TEXT_CHARS];
};

TEST_F(FingerPrintTest, StringCoversExactlyTheTextBytes) {
    EXPECT_EQ(StringPrint("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(StringPrint(""), "d41d8cd98f00b204e9800998ecf8427e");
    // Path keys are case-sensitive: the engine upper-cases before hashing.
    EXPECT_NE(StringPrint("C:\\WINDOWS\\"), StringPrint("C:\\windows\\"));
}

TEST_F(FingerPrintTest, StringWithoutOutputOrTextIsRefusedAndLogged) {
    EXPECT_EQ(FingerPrintString("abc", nullptr), S_FALSE);
    EXPECT_TRUE(Logged("NULL pointer for FingerPrint (string)"));
    EXPECT_EQ(FingerPrintString(nullptr, output), S_FALSE);
    EXPECT_STREQ(output, kUntouched);
}

TEST_F(FingerPrintTest, FileContentMatchesTheSameBytesAsText) {
    std::string content = "first line\r\nsecond line\r\n";
    std::string big(1 << 20, 'x');
    big += "tail";
    EXPECT_EQ(FingerPrintFile(MakeFile("small.txt", content).c_str(), output), S_OK);
    EXPECT_EQ(std::string(output), StringPrint(content));
    EXPECT_EQ(FingerPrintFile(MakeFile("big.bin", big).c_str(), output), S_OK);
    EXPECT_EQ(std::string(output), StringPrint(big));
    EXPECT_EQ(FingerPrintFile(MakeFile("empty.txt", "").c_str(), output), S_OK);
    EXPECT_EQ(std::string(output), StringPrint(""));
}

TEST_F(FingerPrintTest, ReadsWholeBlocksThenOneEmptyRead) {
    ASSERT_EQ(FingerPrintFile(MakeFile("empty", "").c_str(), output), S_OK);
    EXPECT_EQ(FingerPrintFileReadCount(), 1u);
    ASSERT_EQ(FingerPrintFile(MakeFile("block", std::string(4096, 'b')).c_str(), output), S_OK);
    EXPECT_EQ(FingerPrintFileReadCount(), 2u);
    EXPECT_EQ(std::string(output), StringPrint(std::string(4096, 'b')));
    ASSERT_EQ(FingerPrintFile(MakeFile("more", std::string(4097, 'b')).c_str(), output), S_OK);
    EXPECT_EQ(FingerPrintFileReadCount(), 3u);
}

TEST_F(FingerPrintTest, StopFlagIsSeenAfterTheFirstRead) {
    LONG stop = 1;
    g_pStopFlag = &stop;
    std::string path = MakeFile("data", std::string(10000, 'd'));
    EXPECT_EQ(FingerPrintFile(path.c_str(), output), FINGERPRINT_STOPPED);
    EXPECT_EQ(FingerPrintFileReadCount(), 1u);
    EXPECT_STREQ(output, kUntouched);
    EXPECT_TRUE(Logged("Stop Service encountered 4"));

    // Even an empty file has its read answered before the flag is tested.
    EXPECT_EQ(FingerPrintFile(MakeFile("none", "").c_str(), output), FINGERPRINT_STOPPED);
    EXPECT_STREQ(output, kUntouched);

    stop = 0;
    EXPECT_EQ(FingerPrintFile(path.c_str(), output), S_OK);
}

TEST_F(FingerPrintTest, MissingOutputOrPathIsReported) {
    std::string path = MakeFile("data", "x");
    EXPECT_EQ(FingerPrintFile(path.c_str(), nullptr), S_FALSE);
    EXPECT_TRUE(Logged("NULL pointer for FingerPrint"));

    EXPECT_EQ(FingerPrintFile("", output), E_FAIL);
    EXPECT_TRUE(Logged("File is empty"));
    EXPECT_TRUE(Logged("Could not open the file \r\n"));
    EXPECT_EQ(FingerPrintFile(nullptr, output), E_FAIL);
    EXPECT_STREQ(output, kUntouched);
}

TEST_F(FingerPrintTest, FileThatCannotBeOpenedGivesNoFingerprint) {
    std::string missing = root.OnDriveC(root.DriveC() + "/gone.txt");
    EXPECT_EQ(FingerPrintFile(missing.c_str(), output), E_FAIL);
    EXPECT_TRUE(Logged("Could not open the file " + missing));

    EXPECT_STREQ(output, kUntouched);

    // Only when the test runs as an account that permissions bind.
    std::string locked = MakeFile("locked.txt", "secret");
    std::filesystem::permissions(root.DriveC() + "/locked.txt", std::filesystem::perms::none);
    if (FingerPrintFile(locked.c_str(), output) != S_OK) {
        EXPECT_TRUE(Logged("Could not open the file " + locked));
        EXPECT_STREQ(output, kUntouched);
    }
    std::filesystem::permissions(root.DriveC() + "/locked.txt", std::filesystem::perms::owner_all);
}

TEST_F(FingerPrintTest, FileHeldByAWriterIsNotOpenable) {
    std::string path = MakeFile("busy.log", "being written");
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FingerPrintFile(path.c_str(), output), E_FAIL);
    EXPECT_TRUE(Logged("Could not open the file " + path));
    EXPECT_STREQ(output, kUntouched);
    CloseHandle(writer);
    EXPECT_EQ(FingerPrintFile(path.c_str(), output), S_OK);
}

// None of these has content to fingerprint; each must fail at once rather
// than wait for a writer (FIFO) or read without end (a device).
TEST_F(FingerPrintTest, FoldersFifosSocketsAndDevicesAreRefusedWithoutBlocking) {
    std::filesystem::create_directory(root.DriveC() + "/folder");
    kvtest::MakeFifo(root.DriveC() + "/pipe");
    kvtest::MakeSocketFile(root.DriveC() + "/socket");
    root.MapDrive('d', "/dev");
    for (std::string path : {root.OnDriveC(root.DriveC() + "/folder"),
                             root.OnDriveC(root.DriveC() + "/pipe"),
                             root.OnDriveC(root.DriveC() + "/socket"), std::string("D:\\zero"),
                             std::string("D:\\null")}) {
        auto result = std::async(std::launch::async, [&] {
            char fingerprint[MD5_TEXT_CHARS] = "untouched";
            HRESULT hr = FingerPrintFile(path.c_str(), fingerprint);
            return std::make_pair(hr, std::string(fingerprint));
        });
        ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready) << path;
        auto [hr, fingerprint] = result.get();
        EXPECT_EQ(hr, E_FAIL) << path;
        EXPECT_EQ(fingerprint, kUntouched) << path;
        EXPECT_TRUE(Logged("Could not open the file " + path)) << path;
    }
}

}  // namespace
