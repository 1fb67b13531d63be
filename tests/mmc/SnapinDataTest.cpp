// What snap-ins and the console exchange without any window: clipboard
// format numbers, global memory through its stream, named images.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/mmc/SnapIn.h"

TEST(ClipboardFormatTest, OneNumberPerNameWhateverItsCase) {
    UINT nodeType = RegisterClipboardFormatW(CCF_NODETYPE);
    EXPECT_GE(nodeType, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormatA("ccf_nodetype"), nodeType);
    EXPECT_NE(RegisterClipboardFormatW(CCF_DISPLAY_NAME), nodeType);
    char name[64];
    ASSERT_GT(GetClipboardFormatNameA(nodeType, name, sizeof name), 0);
    EXPECT_STREQ(name, "CCF_NODETYPE");
    EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
    EXPECT_EQ(RegisterClipboardFormatA(nullptr), 0u);
    EXPECT_EQ(GetClipboardFormatNameA(0xBFFF, name, sizeof name), 0);
}

TEST(GlobalMemoryTest, StreamWritesGrowTheCallersBlockAndReadBack) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    ASSERT_NE(block, nullptr);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
    const char text[] = "a display name longer than four bytes";
    ULONG written = 0;
    EXPECT_EQ(stream->Write(text, sizeof text, &written), S_OK);
    EXPECT_EQ(written, sizeof text);
    EXPECT_EQ(GlobalSize(block), sizeof text);
    LARGE_INTEGER start{};
    ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    char back[sizeof text] = {};
    ULONG read = 0;
    EXPECT_EQ(stream->Read(back, sizeof back, &read), S_OK);
    EXPECT_STREQ(back, text);
    EXPECT_EQ(stream->Read(back, 1, &read), S_FALSE) << "nothing left";
    LARGE_INTEGER before{};
    before.QuadPart = -1;
    EXPECT_NE(stream->Seek(before, STREAM_SEEK_SET, nullptr), S_OK);
    stream->Release();
    // Without deleteOnRelease the caller's block outlives the stream.
    EXPECT_EQ(std::memcmp(GlobalLock(block), text, sizeof text), 0);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, ReleasingAMediumFreesWhatItHolds) {
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalAlloc(GHND, 16);
    ReleaseStgMedium(&medium);
    EXPECT_EQ(medium.tymed, TYMED_NULL);
    EXPECT_EQ(medium.hGlobal, nullptr);
    int stray = 0;
    EXPECT_EQ(GlobalLock(&stray), nullptr) << "a handle that is no block is refused";
    EXPECT_EQ(GlobalFree(&stray), &stray);
}

TEST(NamedImageTest, SameNameSameHandleAndStripsKeepTheirNames) {
    HICON folder = KvNamedIcon("folder");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(KvNamedIcon("folder"), folder);
    EXPECT_STREQ(KvNamedIconName(folder), "folder");
    EXPECT_EQ(KvNamedIcon("../../etc/passwd"), nullptr) << "names never become paths";
    EXPECT_EQ(KvNamedIcon("a b"), nullptr);
    HICON picture = KvNamedIcon("res://C:\\Tsl3\\OrvConsole.so/state0.png");
    ASSERT_NE(picture, nullptr) << "a module's picture by its res:// address";
    EXPECT_STREQ(KvNamedIconName(picture), "res://C:\\Tsl3\\OrvConsole.so/state0.png");
    EXPECT_EQ(KvNamedIcon("res://m.so/a\nb.png"), nullptr);
    const char* names[] = {"folder", "drive-harddisk", "../x"};
    HBITMAP strip = KvNamedStrip(names, 3);
    const char* const* back = nullptr;
    int count = 0;
    ASSERT_TRUE(KvNamedStripNames(strip, &back, &count));
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(back[1], "drive-harddisk");
    EXPECT_STREQ(back[2], "") << "a bad name in a strip is left blank";
    EXPECT_FALSE(KvNamedStripNames(reinterpret_cast<HBITMAP>(folder), &back, &count));
}
