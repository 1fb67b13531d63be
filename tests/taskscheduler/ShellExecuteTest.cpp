// "Scan now" starts its program through ShellExecute: detached, in a session
// of its own without a terminal, output nowhere, not waited for, by the
// same Windows path a work item names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/shell/ShellExecute.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

TEST(ShellExecute, OpenStartsTheProgramDetachedWithoutWaiting) {
    kvtest::TestRoot root;
    std::string done = root.DriveC() + "/done";
    kvtest::WriteTextFile(root.DriveC() + "/slow",
                          "#!/bin/sh\n"
                          "read -r pid comm state ppid pgrp sid tty rest < /proc/$$/stat\n"
                          "sleep 1\n"
                          "echo \"$1 sid=$([ \"$sid\" = $$ ] && echo own) tty=$tty parent=$([ \"$ppid\" = " +
                              std::to_string(::getpid()) + " ] && echo caller || echo other) out=$(readlink /proc/$$/fd/1) in=$(pwd)\" > " +
                              done + ".tmp\n"
                              "mv " + done + ".tmp " + done + "\n");
    ::chmod((root.DriveC() + "/slow").c_str(), 0755);
    fs::create_directory(root.DriveC() + "/work");

    HINSTANCE result = ShellExecuteA(nullptr, "open", "C:\\slow.exe", "12", "C:\\work", SW_HIDE);
    EXPECT_GT(reinterpret_cast<uintptr_t>(result), 32u);
    // Not waited for: the program sleeps a second before it writes.
    EXPECT_FALSE(fs::exists(done));
    for (int i = 0; i < 500 && !fs::exists(done); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(done));
    EXPECT_EQ(kvtest::ReadTextFile(done),
              "12 sid=own tty=0 parent=other out=/dev/null in=" + root.DriveC() + "/work\n");
}

TEST(ShellExecute, WhatCannotBeStartedSaysWhy) {
    kvtest::TestRoot root;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "open", "C:\\missing.exe", "", nullptr, SW_HIDE)),
              static_cast<uintptr_t>(SE_ERR_FNF));
    EXPECT_EQ(GetLastError(), 2u);
    kvtest::WriteTextFile(root.DriveC() + "/plain.txt", "text\n");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "open", "C:\\plain.txt", "", nullptr, SW_HIDE)),
              static_cast<uintptr_t>(SE_ERR_ACCESSDENIED));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "print", "C:\\plain.txt", "", nullptr, SW_HIDE)),
              static_cast<uintptr_t>(SE_ERR_NOASSOC));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "open", "/bin/true", "", "C:\\nowhere", SW_HIDE)),
              static_cast<uintptr_t>(SE_ERR_PNF));
}

}  // namespace
