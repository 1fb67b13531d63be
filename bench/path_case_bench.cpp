// What a name costs to open through the file-system stand-in: the exact
// name (every open the walk makes), a case-variant found in a folder of
// many entries, and a name that is missing (the look-up that finds nothing),
// beside a plain open(2) of the same file for the floor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/file/File.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    kvtest::TestRoot root;
    explicit Folder(int entries) {
        fs::create_directories(root.DriveC() + "/Data");
        for (int i = 0; i < entries; ++i) kvtest::WriteTextFile(root.DriveC() + "/Data/f" + std::to_string(i) + ".dat", "x");
        kvtest::WriteTextFile(root.DriveC() + "/Data/ExtExcluded.dat", "TMP\r\n");
    }
};

void Open(benchmark::State& state, const char* path) {
    Folder folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        benchmark::DoNotOptimize(file);
    }
}

void BM_PosixOpen(benchmark::State& state) {
    Folder folder(static_cast<int>(state.range(0)));
    std::string path = folder.root.DriveC() + "/Data/ExtExcluded.dat";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        benchmark::DoNotOptimize(fd);
    }
}
void BM_ExactName(benchmark::State& state) { Open(state, "C:\\Data\\ExtExcluded.dat"); }
void BM_CaseVariant(benchmark::State& state) { Open(state, "C:\\DATA\\extexcluded.dat"); }
void BM_MissingName(benchmark::State& state) { Open(state, "C:\\Data\\missing.dat"); }

BENCHMARK(BM_PosixOpen)->Arg(10)->Arg(10000);
BENCHMARK(BM_ExactName)->Arg(10)->Arg(10000);
BENCHMARK(BM_CaseVariant)->Arg(10)->Arg(10000);
BENCHMARK(BM_MissingName)->Arg(10)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
