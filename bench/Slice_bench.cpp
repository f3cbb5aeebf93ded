// Split and the typed array against std::string_view and std::vector doing
// the same work.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gen/Array.h"
#include "gen/Slice.h"

namespace {

// range(0) fields of 1 to 8 bytes separated by bars.
std::string Barred(int64_t fields) {
    std::string text;
    for (int64_t i = 0; i < fields; ++i) {
        if (i) text += '|';
        text.append(1 + i % 8, static_cast<char>('a' + i % 26));
    }
    return text;
}

// Both sides reserve room for 8 views and return an owned list of views.
void Ours_Split(benchmark::State& state) {
    std::string text = Barred(state.range(0));
    for (auto _ : state) {
        StrTokenizer tokenizer(StrSlice(text.c_str()), '|');
        TypedBlock<StrSlice> views = tokenizer.Split(8);
        benchmark::DoNotOptimize(views.raw.storageStart);
    }
}
void Std_Split(benchmark::State& state) {
    std::string text = Barred(state.range(0));
    for (auto _ : state) {
        std::string_view rest(text);
        std::vector<std::string_view> views;
        views.reserve(8);
        for (;;) {
            size_t bar = rest.find('|');
            views.push_back(rest.substr(0, bar));
            if (bar == std::string_view::npos) break;
            rest.remove_prefix(bar + 1);
        }
        benchmark::DoNotOptimize(views.data());
    }
}
BENCHMARK(Ours_Split)->Arg(4)->Arg(8)->Arg(64)->Arg(1024);
BENCHMARK(Std_Split)->Arg(4)->Arg(8)->Arg(64)->Arg(1024);

// range(0) pushes from an empty array, without a reserve.
template <class T>
void Ours_Push(benchmark::State& state) {
    for (auto _ : state) {
        TypedArray<T> array;
        for (int64_t i = 0; i < state.range(0); ++i) *array.Push() = static_cast<T>(i);
        benchmark::DoNotOptimize(array.raw.storageStart);
    }
}
template <class T>
void Std_Push(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<T> vector;
        for (int64_t i = 0; i < state.range(0); ++i) vector.push_back(static_cast<T>(i));
        benchmark::DoNotOptimize(vector.data());
    }
}
BENCHMARK_TEMPLATE(Ours_Push, uint32_t)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK_TEMPLATE(Std_Push, uint32_t)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK_TEMPLATE(Ours_Push, uint64_t)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK_TEMPLATE(Std_Push, uint64_t)->Arg(16)->Arg(1024)->Arg(65536);

}  // namespace
