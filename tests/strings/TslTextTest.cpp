#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text/CodePage.h"
#include "strings/CodeMap.h"
#include "strings/TslText.h"
#include "tests/fixtures/TestRoot.h"

namespace {

std::string Fetch(DWORD code, LONG* result = nullptr) {
    BSTR text = nullptr;
    LONG rc = GetResource(code, &text);
    if (result) *result = rc;
    if (rc != 0) return "<none>";
    std::string narrow = kv::platform::Utf16ToUtf8(text, SysStringLen(text));
    SysFreeString(text);
    return narrow;
}

TEST(TslText, EveryRequestedCodeHasItsText) {
    const std::pair<DWORD, const char*> expected[] = {
        {0x01000001, "SOFTWARE\\Kestrava Corvid\\Tsl3"},
        {0x02000001, "Kestrava Selvane Tessellon 3 agent service"},
        {0x02000003, "Checks the file integrity."},
        {0x11000000, "DSN=Kestrava Selvane Tsl 3;"},
        {0x11000001, "ODBC;DSN=Kestrava Selvane Tsl 3;"},
        {0x07000001, "Kestrava Selvane Tessellon 3"},
        {0x07000002, "Tsl3 Config About"},
        {0x00000010, "3.0"},
        {0x00000020, "Kestrava Software Ltd."},
        {0x05000000, "SVNTSL"},
    };
    for (const auto& [code, text] : expected) {
        LONG rc = -2;
        EXPECT_EQ(Fetch(code, &rc), text) << std::hex << code;
        EXPECT_EQ(rc, 0);
    }
    EXPECT_EQ(Fetch(0x02000000), Fetch(0x02000001));
}

TEST(TslText, UnknownCodesLeaveTheOutValueAlone) {
    BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
    BSTR text = sentinel;
    EXPECT_EQ(GetResource(0x02000004, &text), 1);
    EXPECT_EQ(text, sentinel);
    EXPECT_EQ(GetResource(0, &text), 1);
    EXPECT_EQ(text, sentinel);
}

TEST(TslText, GetResourceStringCopiesOrShowsOneBox) {
    kvtest::TestRoot root;
    std::string boxes = root.Path() + "/boxes.log";
    ::setenv("KESTRAVA_MSGBOX_LOG", boxes.c_str(), 1);
    char buffer[1024];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(GetResourceString(0x11000000, buffer), 0);
    EXPECT_STREQ(buffer, "DSN=Kestrava Selvane Tsl 3;");
    EXPECT_EQ(kvtest::ReadTextFile(boxes), "");

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetResourceString(0x02000004, buffer), 1);
    EXPECT_EQ(buffer[0], 'x');
    ::unsetenv("KESTRAVA_MSGBOX_LOG");
    EXPECT_EQ(kvtest::ReadTextFile(boxes), "Error: String not found in TslText.dll\n");
}

}  // namespace
