#include "core/fingerprint/Md5.h"

#include <bit>
#include <cstring>

namespace {

// Message words are little-endian whatever the host.
inline uint32_t LoadWord(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
    return word;
}

inline void StoreWord(uint8_t* p, uint32_t word) {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
    std::memcpy(p, &word, sizeof word);
}

// The four auxiliary functions in the forms that need the fewest operations:
// F and G as bit selects, G's two halves disjoint so they can be added in
// separately, which shortens the dependency chain on the step's input.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_STEP_F(a, b, c, d, k, s, t)                 \
    a += MD5_F(b, c, d) + x[k] + static_cast<uint32_t>(t); \
    a = std::rotl(a, s) + b
#define MD5_STEP_G(a, b, c, d, k, s, t)                        \
    a += x[k] + static_cast<uint32_t>(t) + (~d & c); \
    a += (d & b);                                              \
    a = std::rotl(a, s) + b
#define MD5_STEP_H(a, b, c, d, k, s, t)                 \
    a += MD5_H(b, c, d) + x[k] + static_cast<uint32_t>(t); \
    a = std::rotl(a, s) + b
#define MD5_STEP_I(a, b, c, d, k, s, t)                 \
    a += MD5_I(b, c, d) + x[k] + static_cast<uint32_t>(t); \
    a = std::rotl(a, s) + b

// Runs the compression function over blocks 64-byte blocks.
void Transform(uint32_t state[4], const uint8_t* data, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks != 0; --blocks, data += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = LoadWord(data + 4 * i);
        const uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP_F(a, b, c, d, 0, 7, 0xd76aa478);
        MD5_STEP_F(d, a, b, c, 1, 12, 0xe8c7b756);
        MD5_STEP_F(c, d, a, b, 2, 17, 0x242070db);
        MD5_STEP_F(b, c, d, a, 3, 22, 0xc1bdceee);
        MD5_STEP_F(a, b, c, d, 4, 7, 0xf57c0faf);
        MD5_STEP_F(d, a, b, c, 5, 12, 0x4787c62a);
        MD5_STEP_F(c, d, a, b, 6, 17, 0xa8304613);
        MD5_STEP_F(b, c, d, a, 7, 22, 0xfd469501);
        MD5_STEP_F(a, b, c, d, 8, 7, 0x698098d8);
        MD5_STEP_F(d, a, b, c, 9, 12, 0x8b44f7af);
        MD5_STEP_F(c, d, a, b, 10, 17, 0xffff5bb1);
        MD5_STEP_F(b, c, d, a, 11, 22, 0x895cd7be);
        MD5_STEP_F(a, b, c, d, 12, 7, 0x6b901122);
        MD5_STEP_F(d, a, b, c, 13, 12, 0xfd987193);
        MD5_STEP_F(c, d, a, b, 14, 17, 0xa679438e);
        MD5_STEP_F(b, c, d, a, 15, 22, 0x49b40821);

        MD5_STEP_G(a, b, c, d, 1, 5, 0xf61e2562);
        MD5_STEP_G(d, a, b, c, 6, 9, 0xc040b340);
        MD5_STEP_G(c, d, a, b, 11, 14, 0x265e5a51);
        MD5_STEP_G(b, c, d, a, 0, 20, 0xe9b6c7aa);
        MD5_STEP_G(a, b, c, d, 5, 5, 0xd62f105d);
        MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453);
        MD5_STEP_G(c, d, a, b, 15, 14, 0xd8a1e681);
        MD5_STEP_G(b, c, d, a, 4, 20, 0xe7d3fbc8);
        MD5_STEP_G(a, b, c, d, 9, 5, 0x21e1cde6);
        MD5_STEP_G(d, a, b, c, 14, 9, 0xc33707d6);
        MD5_STEP_G(c, d, a, b, 3, 14, 0xf4d50d87);
        MD5_STEP_G(b, c, d, a, 8, 20, 0x455a14ed);
        MD5_STEP_G(a, b, c, d, 13, 5, 0xa9e3e905);
        MD5_STEP_G(d, a, b, c, 2, 9, 0xfcefa3f8);
        MD5_STEP_G(c, d, a, b, 7, 14, 0x676f02d9);
        MD5_STEP_G(b, c, d, a, 12, 20, 0x8d2a4c8a);

        MD5_STEP_H(a, b, c, d, 5, 4, 0xfffa3942);
        MD5_STEP_H(d, a, b, c, 8, 11, 0x8771f681);
        MD5_STEP_H(c, d, a, b, 11, 16, 0x6d9d6122);
        MD5_STEP_H(b, c, d, a, 14, 23, 0xfde5380c);
        MD5_STEP_H(a, b, c, d, 1, 4, 0xa4beea44);
        MD5_STEP_H(d, a, b, c, 4, 11, 0x4bdecfa9);
        MD5_STEP_H(c, d, a, b, 7, 16, 0xf6bb4b60);
        MD5_STEP_H(b, c, d, a, 10, 23, 0xbebfbc70);
        MD5_STEP_H(a, b, c, d, 13, 4, 0x289b7ec6);
        MD5_STEP_H(d, a, b, c, 0, 11, 0xeaa127fa);
        MD5_STEP_H(c, d, a, b, 3, 16, 0xd4ef3085);
        MD5_STEP_H(b, c, d, a, 6, 23, 0x04881d05);
        MD5_STEP_H(a, b, c, d, 9, 4, 0xd9d4d039);
        MD5_STEP_H(d, a, b, c, 12, 11, 0xe6db99e5);
        MD5_STEP_H(c, d, a, b, 15, 16, 0x1fa27cf8);
        MD5_STEP_H(b, c, d, a, 2, 23, 0xc4ac5665);

        MD5_STEP_I(a, b, c, d, 0, 6, 0xf4292244);
        MD5_STEP_I(d, a, b, c, 7, 10, 0x432aff97);
        MD5_STEP_I(c, d, a, b, 14, 15, 0xab9423a7);
        MD5_STEP_I(b, c, d, a, 5, 21, 0xfc93a039);
        MD5_STEP_I(a, b, c, d, 12, 6, 0x655b59c3);
        MD5_STEP_I(d, a, b, c, 3, 10, 0x8f0ccc92);
        MD5_STEP_I(c, d, a, b, 10, 15, 0xffeff47d);
        MD5_STEP_I(b, c, d, a, 1, 21, 0x85845dd1);
        MD5_STEP_I(a, b, c, d, 8, 6, 0x6fa87e4f);
        MD5_STEP_I(d, a, b, c, 15, 10, 0xfe2ce6e0);
        MD5_STEP_I(c, d, a, b, 6, 15, 0xa3014314);
        MD5_STEP_I(b, c, d, a, 13, 21, 0x4e0811a1);
        MD5_STEP_I(a, b, c, d, 4, 6, 0xf7537e82);
        MD5_STEP_I(d, a, b, c, 11, 10, 0xbd3af235);
        MD5_STEP_I(c, d, a, b, 2, 15, 0x2ad7d2bb);
        MD5_STEP_I(b, c, d, a, 9, 21, 0xeb86d391);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_STEP_F
#undef MD5_STEP_G
#undef MD5_STEP_H
#undef MD5_STEP_I
#undef MD5_F
#undef MD5_H
#undef MD5_I

// A plain memset of a context about to die may be dropped by the optimiser.
void Wipe(void* p, size_t length) {
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(p);
    while (length-- != 0) *bytes++ = 0;
}

}  // namespace

void MD5Init(MD5Context* context) {
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    context->count[0] = 0;
    context->count[1] = 0;
}

void MD5Update(MD5Context* context, const void* input, size_t length) {
    if (length == 0) return;
    const uint8_t* data = static_cast<const uint8_t*>(input);
    size_t used = (context->count[0] >> 3) & 63;

    uint64_t bits = (static_cast<uint64_t>(context->count[1]) << 32) | context->count[0];
    bits += static_cast<uint64_t>(length) << 3;
    context->count[0] = static_cast<uint32_t>(bits);
    context->count[1] = static_cast<uint32_t>(bits >> 32);

    if (used != 0) {
        size_t room = 64 - used;
        if (length < room) {
            std::memcpy(context->buffer + used, data, length);
            return;
        }
        std::memcpy(context->buffer + used, data, room);
        Transform(context->state, context->buffer, 1);
        data += room;
        length -= room;
    }
    // Whole blocks straight from the caller's memory; only the tail is copied.
    if (length >= 64) {
        Transform(context->state, data, length / 64);
        data += length & ~static_cast<size_t>(63);
        length &= 63;
    }
    if (length != 0) std::memcpy(context->buffer, data, length);
}

void MD5Final(uint8_t digest[MD5_DIGEST_BYTES], MD5Context* context) {
    uint8_t length[8];
    StoreWord(length, context->count[0]);
    StoreWord(length + 4, context->count[1]);

    size_t used = (context->count[0] >> 3) & 63;
    context->buffer[used++] = 0x80;
    if (used > 56) {
        std::memset(context->buffer + used, 0, 64 - used);
        Transform(context->state, context->buffer, 1);
        used = 0;
    }
    std::memset(context->buffer + used, 0, 56 - used);
    std::memcpy(context->buffer + 56, length, 8);
    Transform(context->state, context->buffer, 1);

    for (int i = 0; i < 4; ++i) StoreWord(digest + 4 * i, context->state[i]);
    Wipe(context, sizeof *context);
}

void MD5ToText(const uint8_t digest[MD5_DIGEST_BYTES], char text[MD5_TEXT_CHARS]) {
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < MD5_DIGEST_BYTES; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 15];
    }
    text[2 * MD5_DIGEST_BYTES] = '\0';
}

void MD5Digest(const void* input, size_t length, uint8_t digest[MD5_DIGEST_BYTES]) {
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, input, length);
    MD5Final(digest, &context);
}

void MD5DigestText(const void* input, size_t length, char text[MD5_TEXT_CHARS]) {
    uint8_t digest[MD5_DIGEST_BYTES];
    MD5Digest(input, length, digest);
    MD5ToText(digest, text);
}
