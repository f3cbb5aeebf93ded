// compat's registry file, named like the other pairs so that bench/ratios.py
// prints ours/baseline:
//   RegistryParse/N: parsing a .reg file of N keys; the time per key should
//                    not grow with N (8000 keys within 10x the time of 800)
//   RegistryRead:    opening a key of an unchanged 8000-key registry file and
//                    querying its value, against reading and parsing the file
//                    afresh for the same value
// RegistryCopy/N reports what the parsed copy of a file of N keys holds on
// the heap, per byte of the file (counter heapPerFileByte).
#include <benchmark/benchmark.h>

#include <windows.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Files.h"
#include "RegFile.h"

namespace {

const char kKeyPath[] = "HKEY_CURRENT_USER\\Software\\Korvel\\Bench";

// A registry of keys sections, each with two values, as regedit exports it.
std::string RegistryText(int keys) {
    std::string text = "REGEDIT4\r\n\r\n";
    for (int k = 0; k < keys; ++k) {
        std::string n = std::to_string(k);
        text += "[" + std::string(kKeyPath) + "\\Key" + n + "]\r\n\"Name\"=\"value " + n + "\"\r\n\"Count\"=dword:" +
                "0000002a\r\n\r\n";
    }
    return text;
}

void Ours_RegistryParse(benchmark::State& state) {
    std::string text = RegistryText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RegTree tree;
        benchmark::DoNotOptimize(RegParseFile(text, tree));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(Ours_RegistryParse)->Arg(800)->Arg(8000)->Unit(benchmark::kMicrosecond);

// The 8000-key registry file, written once, named by COMPAT_REGISTRY.
const std::string& RegistryFile() {
    static const std::string path = [] {
        std::string file = "/tmp/gen_bench_" + std::to_string(getpid()) + ".reg";
        std::ofstream(file, std::ios::binary) << RegistryText(8000);
        setenv("COMPAT_REGISTRY", file.c_str(), 1);
        return file;
    }();
    return path;
}

const char kSubKey[] = "Software\\Korvel\\Bench\\Key7013";

void Ours_RegistryRead(benchmark::State& state) {
    RegistryFile();
    for (auto _ : state) {
        HKEY key = nullptr;
        char value[64];
        DWORD size = sizeof value;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSubKey, 0, KEY_READ, &key) != ERROR_SUCCESS ||
            RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
            state.SkipWithError("the value cannot be read");
        }
        RegCloseKey(key);
        benchmark::DoNotOptimize(value);
    }
}
void Std_RegistryRead(benchmark::State& state) {
    const std::string& file = RegistryFile();
    for (auto _ : state) {
        std::string text;
        int error = 0;
        RegTree tree;
        ReadWholeFile(file, text, error);
        RegParseFile(text, tree);
        RegKey* key = RegFindKey(tree, std::string(kKeyPath) + "\\Key7013");
        RegValue* value = key != nullptr ? RegFindValue(*key, "Name") : nullptr;
        if (value == nullptr) state.SkipWithError("the value cannot be read");
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(Ours_RegistryRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(Std_RegistryRead)->Unit(benchmark::kMicrosecond);

void RegistryCopy(benchmark::State& state) {
    std::string text = RegistryText(static_cast<int>(state.range(0)));
    double perByte = 0;
    for (auto _ : state) {
        size_t before = mallinfo2().uordblks;
        RegTree tree;
        RegParseFile(text, tree);
        perByte = static_cast<double>(mallinfo2().uordblks - before) / static_cast<double>(text.size());
        benchmark::DoNotOptimize(tree);
    }
    state.counters["heapPerFileByte"] = perByte;
}
BENCHMARK(RegistryCopy)->Arg(8000)->Unit(benchmark::kMillisecond);

}  // namespace
