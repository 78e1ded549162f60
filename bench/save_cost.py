#!/usr/bin/env python3
"""Turns a run of brambleon_bench's save benchmarks (JSON) into the save-cost table of
bench/README.md.

    build/bench/bin/brambleon_bench --benchmark_filter='Save|Truncating|Flush' --benchmark_repetitions=5 \
        --benchmark_out=save.json --benchmark_out_format=json && bench/save_cost.py save.json

Medians of the repetitions when there are several; disk flushes vary a lot from one to the next.
"""
import json
import sys

SIZES = {1024: "1 KiB", 1024 * 1024: "1 MiB"}
NAMES = ("BM_SaveFile", "BM_FlushToDisk", "BM_FlushFolder", "BM_TruncatingWrite")


def size_of(parts):
    """The first whole-number argument of a run's name ("BM_SaveFile/1024/real_time"), or None."""
    for part in parts:
        if part.isdigit():
            return int(part)
    return None


def main():
    with open(sys.argv[1]) as handle:
        data = json.load(handle)
    runs = {}
    # A whole benchmark run holds every other benchmark too: only the save rows count.
    for run in data["benchmarks"]:
        parts = run.get("run_name", run["name"]).split("/")
        size = size_of(parts[1:])
        if parts[0] not in NAMES or size not in SIZES:
            continue
        if run.get("error_occurred"):
            sys.exit(f"{run['name']}: {run.get('error_message')}")
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[run.get("time_unit", "ns")]
        runs[(parts[0], size)] = run["real_time"] * scale
    missing = [f"{name}/{size}" for name in NAMES for size in SIZES if (name, size) not in runs]
    if missing:
        sys.exit("no results for " + ", ".join(missing) + " (run the save benchmarks as shown above)")

    context = data.get("context", {})
    print(f"Machine: {context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
          f"{context.get('date', '')}\n")
    print("| Text | Save now (whole call) | of which: the text's flush | the folder's flush "
          "| the rest (convert, write, rename) | Truncating write, as saves were (no flush) |")
    print("|---|---|---|---|---|---|")
    for size, label in SIZES.items():
        save = runs[("BM_SaveFile", size)]
        flush = runs[("BM_FlushToDisk", size)]
        folder = runs[("BM_FlushFolder", size)]
        before = runs[("BM_TruncatingWrite", size)]
        rest = max(save - flush - folder, 0)
        print(f"| {label} | {save:.2f} ms | {flush:.2f} ms | {folder:.2f} ms | {rest:.2f} ms | {before:.2f} ms |")


if __name__ == "__main__":
    main()
