// Str, StrBuilder, FormatStr and ReplaceAll against std::string doing the
// same work. Pairs are named Ours/... and Std/... with the same arguments.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "gen/Str.h"

namespace {

std::string Filler(size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

void Ours_StrCopy(benchmark::State& state) {
    Str source(Filler(state.range(0)).c_str());
    for (auto _ : state) {
        Str copy(source);
        benchmark::DoNotOptimize(copy.data);
    }
}
void Std_StrCopy(benchmark::State& state) {
    std::string source = Filler(state.range(0));
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(Ours_StrCopy)->Arg(8)->Arg(64)->Arg(1024);
BENCHMARK(Std_StrCopy)->Arg(8)->Arg(64)->Arg(1024);

// Alternating between two sources of the same length, so neither side can
// skip the copy.
void Ours_StrAssign(benchmark::State& state) {
    Str a(Filler(state.range(0)).c_str());
    Str b(a);
    b.data[0] = 'z';
    Str target;
    for (auto _ : state) {
        target = a;
        target = b;
        benchmark::DoNotOptimize(target.data);
    }
}
void Std_StrAssign(benchmark::State& state) {
    std::string a = Filler(state.range(0));
    std::string b = a;
    b[0] = 'z';
    std::string target;
    for (auto _ : state) {
        target = a;
        target = b;
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(Ours_StrAssign)->Arg(8)->Arg(64)->Arg(1024);
BENCHMARK(Std_StrAssign)->Arg(8)->Arg(64)->Arg(1024);

// A text built from range(0) appends of 8 bytes, from an empty start.
void Ours_BuilderAppend(benchmark::State& state) {
    for (auto _ : state) {
        StrBuilder builder(0);
        for (int64_t i = 0; i < state.range(0); ++i) builder.Append("abcdefgh", 8);
        benchmark::DoNotOptimize(builder.storage);
    }
}
void Std_BuilderAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::string text;
        for (int64_t i = 0; i < state.range(0); ++i) text.append("abcdefgh", 8);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(Ours_BuilderAppend)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(Std_BuilderAppend)->Arg(4)->Arg(64)->Arg(4096);

void Ours_Format(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) {
        ++n;
        Str text = FormatStr("%s\\%s (%d, 0x%08X)", "C:\\Program Files", "name.ini", n, n * 7u);
        benchmark::DoNotOptimize(text.data);
    }
}
void Std_Format(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) {
        char buffer[512];
        ++n;
        snprintf(buffer, sizeof buffer, "%s\\%s (%d, 0x%08X)", "C:\\Program Files", "name.ini", n, n * 7u);
        std::string text(buffer);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(Ours_Format);
BENCHMARK(Std_Format);

// A text of range(0) bytes with the pattern every range(1) bytes (0: never).
std::string ReplaceInput(int64_t length, int64_t every) {
    std::string text = Filler(length);
    if (every > 0)
        for (int64_t i = every - 1; i + 2 <= length; i += every) text.replace(i, 2, "%s");
    return text;
}

void Ours_ReplaceAll(benchmark::State& state) {
    std::string input = ReplaceInput(state.range(0), state.range(1));
    for (auto _ : state) {
        Str text(input.c_str());
        text.ReplaceAll("%s", "<value>");
        benchmark::DoNotOptimize(text.data);
    }
}
void Std_ReplaceAll(benchmark::State& state) {
    std::string input = ReplaceInput(state.range(0), state.range(1));
    for (auto _ : state) {
        std::string text(input);
        // One pass: find each match and build the result beside the text.
        std::string result;
        result.reserve(text.size());
        size_t rest = 0;
        for (size_t match; (match = text.find("%s", rest)) != std::string::npos; rest = match + 2) {
            result.append(text, rest, match - rest);
            result.append("<value>", 7);
        }
        if (rest != 0) {
            result.append(text, rest, std::string::npos);
            text.swap(result);
        }
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(Ours_ReplaceAll)->Args({64, 0})->Args({64, 16})->Args({4096, 0})->Args({4096, 64})->Args({4096, 8});
BENCHMARK(Std_ReplaceAll)->Args({64, 0})->Args({64, 16})->Args({4096, 0})->Args({4096, 64})->Args({4096, 8});

}  // namespace
