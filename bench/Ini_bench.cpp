// The configuration store against its baselines, named like the other pairs
// so that bench/ratios.py prints ours/baseline:
//   Crc32:          Crc32Update against zlib's crc32 on the same bytes
//   ProfileLookup:  compat's cached profile lookup against reading and
//                   parsing the 200-line file afresh for the same lookup
//   ReadSetting:    ReadSetting of a present plain key against the bare
//                   profile lookup it makes
// ProfileCopy/N reports what the parsed copy of an N-byte settings file holds
// on the heap, per byte of the file (counter heapPerFileByte; glibc's count,
// so meaningful in the bench build only).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <malloc.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "IniFile.h"
#include "gen/Ini.h"

namespace {

std::vector<unsigned char> RandomBytes(size_t count) {
    std::mt19937 random(3);
    std::vector<unsigned char> bytes(count);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
}

void Ours_Crc32(benchmark::State& state) {
    std::vector<unsigned char> data = RandomBytes(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(Crc32Update(data.data(), data.size(), 0xFFFFFFFFu));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
void Std_Crc32(benchmark::State& state) {
    std::vector<unsigned char> data = RandomBytes(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Ours_Crc32)->Arg(64)->Arg(1024)->Arg(1 << 20);
BENCHMARK(Std_Crc32)->Arg(64)->Arg(1024)->Arg(1 << 20);

// A 200-line settings file: ten sections of nineteen keys.
const std::string& SettingsFile() {
    static const std::string path = [] {
        std::string file = "/tmp/gen_bench_" + std::to_string(getpid()) + ".ini";
        std::ofstream out(file, std::ios::binary);
        for (int s = 0; s < 10; ++s) {
            out << "[Section" << s << "]\r\n";
            for (int k = 0; k < 19; ++k) out << "Key" << k << "=value of key " << k << " in section " << s << "\r\n";
        }
        return file;
    }();
    return path;
}

void Ours_ProfileLookup(benchmark::State& state) {
    const std::string& file = SettingsFile();
    char text[IniKeyCapacity];
    for (auto _ : state) {
        GetPrivateProfileStringA("Section7", "Key13", "", text, sizeof text, file.c_str());
        benchmark::DoNotOptimize(text);
    }
}
void Std_ProfileLookup(benchmark::State& state) {
    const std::string& file = SettingsFile();
    char text[IniKeyCapacity];
    for (auto _ : state) {
        std::ifstream in(file, std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        IniFile ini = ParseIni(content);
        std::string_view value;
        IniFind(ini, "Section7", "Key13", value);
        snprintf(text, sizeof text, "%.*s", static_cast<int>(value.size()), value.data());
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(Ours_ProfileLookup);
BENCHMARK(Std_ProfileLookup);

void Ours_ReadSetting(benchmark::State& state) {
    BindSettingsFile(SettingsFile().c_str(), false, true);
    for (auto _ : state) {
        Str value = ReadSetting("Section7|Key13");
        benchmark::DoNotOptimize(value.data);
    }
    UnbindSettingsFile();
}
void Std_ReadSetting(benchmark::State& state) {
    const std::string& file = SettingsFile();
    char text[IniKeyCapacity];
    for (auto _ : state) {
        GetPrivateProfileStringA("Section7", "Key13", MissingKeySentinel, text, sizeof text, file.c_str());
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(Ours_ReadSetting);
BENCHMARK(Std_ReadSetting);

// Sections of fifty keys, as many as fill size bytes.
std::string LargeSettingsText(size_t size) {
    std::string text;
    for (int s = 0; text.size() < size; ++s) {
        text += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 50; ++k)
            text += "Key" + std::to_string(k) + "=value of key " + std::to_string(k) + " in section " +
                    std::to_string(s) + "\r\n";
    }
    return text;
}

void ProfileCopy(benchmark::State& state) {
    std::string text = LargeSettingsText(static_cast<size_t>(state.range(0)));
    double perByte = 0;
    for (auto _ : state) {
        size_t before = mallinfo2().uordblks;
        IniFile ini = ParseIni(text);
        perByte = static_cast<double>(mallinfo2().uordblks - before) / static_cast<double>(text.size());
        benchmark::DoNotOptimize(ini);
    }
    state.counters["heapPerFileByte"] = perByte;
}
BENCHMARK(ProfileCopy)->Arg(20 << 20)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
