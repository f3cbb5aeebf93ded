// Whole-file reads and file-to-file copies against fread and fwrite doing the
// same work, on files in the page cache. Pairs are named Ours/... and
// Std/... with the same arguments (the file size in bytes).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gen/File.h"

namespace {

namespace fs = std::filesystem;

// A file of size bytes in the temporary folder, made once per size and run;
// reading it once puts it in the page cache.
std::string Source(size_t size) {
    std::string path = (fs::temp_directory_path() / ("gen-bench-" + std::to_string(size) + ".bin")).string();
    if (!fs::exists(path) || fs::file_size(path) != size) {
        std::vector<char> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 4093);
        FILE* file = fopen(path.c_str(), "wb");
        fwrite(bytes.data(), 1, size, file);
        fclose(file);
    }
    Block warm = ReadWholeFile(path.c_str(), 0, 0xFFFFFFFFu, nullptr, nullptr);
    warm.FreeStorage();
    return path;
}

std::string Target() { return (fs::temp_directory_path() / "gen-bench-copy.bin").string(); }

void Ours_ReadWholeFile(benchmark::State& state) {
    std::string path = Source(state.range(0));
    for (auto _ : state) {
        Block block = ReadWholeFile(path.c_str(), 0, 0xFFFFFFFFu, nullptr, nullptr);
        benchmark::DoNotOptimize(block.storageStart);
        block.FreeStorage();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
void Std_ReadWholeFile(benchmark::State& state) {
    std::string path = Source(state.range(0));
    for (auto _ : state) {
        FILE* file = fopen(path.c_str(), "rb");
        fseek(file, 0, SEEK_END);
        std::vector<char> bytes(static_cast<size_t>(ftell(file)));
        rewind(file);
        if (fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) state.SkipWithError("short read");
        fclose(file);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Ours_ReadWholeFile)->Arg(4096)->Arg(1 << 20)->Arg(64 << 20);
BENCHMARK(Std_ReadWholeFile)->Arg(4096)->Arg(1 << 20)->Arg(64 << 20);

void Ours_CopyFileData(benchmark::State& state) {
    std::string source = Source(state.range(0)), target = Target();
    for (auto _ : state) {
        File from(source.c_str(), "RMlB");
        File to(target.c_str(), "CIRWMlB");
        CopyFileData(to, from, 0, 0xFFFFFFFFu);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
void Std_CopyFileData(benchmark::State& state) {
    std::string source = Source(state.range(0)), target = Target();
    std::vector<char> chunk(CopyChunkSize);
    for (auto _ : state) {
        FILE* from = fopen(source.c_str(), "rb");
        FILE* to = fopen(target.c_str(), "w+b");
        size_t n;
        while ((n = fread(chunk.data(), 1, chunk.size(), from)) > 0) fwrite(chunk.data(), 1, n, to);
        fclose(from);
        fclose(to);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Ours_CopyFileData)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(Std_CopyFileData)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
