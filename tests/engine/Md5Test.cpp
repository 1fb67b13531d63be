#include "core/fingerprint/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string TextOf(const std::string& data) {
    char text[MD5_TEXT_CHARS];
    MD5DigestText(data.data(), data.size(), text);
    return text;
}

// Feeds data in the given piece sizes, cycling through them.
std::string TextInPieces(const std::string& data, const std::vector<size_t>& pieces) {
    MD5Context context;
    MD5Init(&context);
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        size_t n = std::min(pieces[i % pieces.size()], data.size() - at);
        MD5Update(&context, data.data() + at, n);
        at += n;
    }
    uint8_t digest[MD5_DIGEST_BYTES];
    MD5Final(digest, &context);
    char text[MD5_TEXT_CHARS];
    MD5ToText(digest, text);
    return text;
}

std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + 7) & 0xff);
    return data;
}

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(TextOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(TextOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(TextOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(TextOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(TextOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(TextOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(TextOf("1234567890123456789012345678901234567890123456789012345678901234567890"
                     "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Padding takes one extra block exactly when fewer than 9 bytes are left in
// the last one; these lengths sit on either side of that edge and of the
// block edges.
TEST(Md5, LengthsAroundPaddingAndBlockEdges) {
    const std::pair<size_t, const char*> cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {63, "b06521f39153d618550606be297466d5"},  {64, "014842d480b571495a4a0363793f7367"},
        {65, "c743a45e0d2e6a95cb859adae0248435"},  {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {120, "5f61c0ccad4cac44c75ff505e1f1e537"}, {127, "020406e1d05cdc2aa287641f7ae2cc39"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (const auto& [length, expected] : cases)
        EXPECT_EQ(TextOf(std::string(length, 'a')), expected) << length << " bytes";
    EXPECT_EQ(TextOf(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

// Odd piece sizes also hand the block function unaligned input.
TEST(Md5, AnySplitOfTheInputGivesTheSameDigest) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{200},
                        size_t{4095}, size_t{4096}, size_t{4097}, size_t{10000}}) {
        std::string data = Pattern(size);
        std::string whole = TextOf(data);
        EXPECT_EQ(TextInPieces(data, {1}), whole) << size;
        EXPECT_EQ(TextInPieces(data, {63, 1, 64, 2, 129}), whole) << size;
        EXPECT_EQ(TextInPieces(data, {4096}), whole) << size;
        EXPECT_EQ(TextInPieces(data, {0, 5, 0, 70}), whole) << size;
    }
}

TEST(Md5, FinalWritesLowerCaseTextAndWipesTheContext) {
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, "abc", 3);
    uint8_t digest[MD5_DIGEST_BYTES];
    MD5Final(digest, &context);

    MD5Context zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);

    char text[MD5_TEXT_CHARS];
    std::memset(text, 'X', sizeof text);
    MD5ToText(digest, text);
    EXPECT_EQ(std::strlen(text), 32u);
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    for (char c : std::string(TextOf(Pattern(777))))
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << c;
}

}  // namespace
