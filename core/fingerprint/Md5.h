// MD5 message digest (RFC 1321). Engine and console both build their
// fingerprints on it and must agree bit for bit, so it holds no state beyond
// the caller's context and touches nothing else of the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#define MD5_DIGEST_BYTES 16
#define MD5_TEXT_CHARS 33  // 32 hexadecimal digits and the terminator

struct MD5Context {
    uint32_t state[4];     // chaining words A, B, C, D
    uint32_t count[2];     // bits added so far, low word first
    uint8_t buffer[64];    // the incomplete block between two updates
};

void MD5Init(MD5Context* context);
// Adds length bytes; any number of bytes, in any split across calls.
void MD5Update(MD5Context* context, const void* input, size_t length);
// Pads, writes the 16 digest bytes and wipes the context.
void MD5Final(uint8_t digest[MD5_DIGEST_BYTES], MD5Context* context);

// The digest as 32 lower-case hexadecimal digits and a terminator.
void MD5ToText(const uint8_t digest[MD5_DIGEST_BYTES], char text[MD5_TEXT_CHARS]);

// One call for data held whole in memory.
void MD5Digest(const void* input, size_t length, uint8_t digest[MD5_DIGEST_BYTES]);
void MD5DigestText(const void* input, size_t length, char text[MD5_TEXT_CHARS]);
