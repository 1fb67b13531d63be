// Our MD5 against OpenSSL's on the same buffers, one run side by side: a
// file-sized block as the walk reads it and a large buffer for the steady
// rate of the block function.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/fingerprint/Md5.h"

namespace {

std::vector<uint8_t> MakeBuffer(size_t size) {
    std::vector<uint8_t> buffer(size);
    uint32_t seed = 0x2545f491u;
    for (auto& byte : buffer) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return buffer;
}

// OpenSSL 3 resolves a digest by name at every init unless it is fetched
// once; fetching up front keeps its figure the cost of hashing alone.
EVP_MD* OpenSslMd5() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return md;
}

void OpenSslDigest(EVP_MD_CTX* ctx, const std::vector<uint8_t>& buffer, uint8_t digest[16]) {
    unsigned int size = 0;
    EVP_DigestInit_ex(ctx, OpenSslMd5(), nullptr);
    EVP_DigestUpdate(ctx, buffer.data(), buffer.size());
    EVP_DigestFinal_ex(ctx, digest, &size);
}

void BM_Md5Ours(benchmark::State& state) {
    auto buffer = MakeBuffer(static_cast<size_t>(state.range(0)));
    uint8_t digest[MD5_DIGEST_BYTES];
    for (auto _ : state) {
        MD5Context context;
        MD5Init(&context);
        MD5Update(&context, buffer.data(), buffer.size());
        MD5Final(digest, &context);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Md5OpenSsl(benchmark::State& state) {
    auto buffer = MakeBuffer(static_cast<size_t>(state.range(0)));
    uint8_t digest[16];
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    for (auto _ : state) {
        OpenSslDigest(ctx, buffer, digest);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The two must agree before their speeds mean anything.
bool SameDigests() {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool same = ctx != nullptr && OpenSslMd5() != nullptr;
    for (size_t size : {size_t{0}, size_t{55}, size_t{64}, size_t{4096}, size_t{1} << 20}) {
        if (!same) break;
        auto buffer = MakeBuffer(size);
        uint8_t ours[MD5_DIGEST_BYTES], theirs[16];
        MD5Digest(buffer.data(), buffer.size(), ours);
        OpenSslDigest(ctx, buffer, theirs);
        same = std::memcmp(ours, theirs, sizeof ours) == 0;
    }
    EVP_MD_CTX_free(ctx);
    return same;
}

}  // namespace

BENCHMARK(BM_Md5Ours)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Md5OpenSsl)->Arg(4096)->Arg(1 << 20);

int main(int argc, char** argv) {
    if (!SameDigests()) {
        std::fprintf(stderr, "md5_bench: our digest differs from OpenSSL's\n");
        return EXIT_FAILURE;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return EXIT_FAILURE;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
