#!/usr/bin/env python3
"""Prints ours/std time ratios from gen_bench's JSON output.

    build/bench/bin/gen_bench --benchmark_repetitions=5 \
        --benchmark_out=bench.json --benchmark_out_format=json
    bench/ratios.py bench.json

Pairs are Ours_X/args and Std_X/args; with repetitions the medians are
compared, otherwise the single runs. CPU time is used: it is the least
disturbed by other work on the machine. Large arrays are dominated by
glibc's moving mmap and trim thresholds (page faults of fresh blocks, which
depend on what ran before); fixing them shows the containers' own costs:

    GLIBC_TUNABLES=glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=268435456
"""
import json
import sys


def main(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    repeated = any(r.get("run_type") == "aggregate" for r in runs)
    times = {}
    for r in runs:
        if repeated and r.get("aggregate_name") != "median":
            continue
        name = r["run_name"] if repeated else r["name"]
        times[name] = r["cpu_time"]
    print(f"{'benchmark':40} {'ours':>12} {'std':>12} {'ours/std':>9}")
    for name, ours in times.items():
        if not name.startswith("Ours_"):
            continue
        std = times.get("Std_" + name[len("Ours_"):])
        if std:
            print(f"{name[len('Ours_'):]:40} {ours:12.1f} {std:12.1f} {ours / std:9.2f}")


if __name__ == "__main__":
    main(sys.argv[1])
