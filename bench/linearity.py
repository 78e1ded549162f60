#!/usr/bin/env python3
"""Turns a run of the pattern benchmarks of brambleon_bench (JSON) into the linearity table of
bench/README.md: VEXA_CPP_GetFileContents on 16 MiB and 64 MiB files of each kind of byte
sequence, time per byte against ordinary mixed text of the same size.

    build/bench/bin/brambleon_bench --benchmark_filter=BM_GetFileContentsPattern \
        --benchmark_repetitions=3 --benchmark_out=linearity.json --benchmark_out_format=json
    bench/linearity.py linearity.json
"""
import json
import sys

MIB = 1024 * 1024
LIMIT = 3.0


def main():
    with open(sys.argv[1]) as handle:
        data = json.load(handle)
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    # Medians when the run was repeated, else the single runs.
    runs = [run for run in data["benchmarks"] if run["name"].startswith("BM_GetFileContentsPattern/")]
    medians = [run for run in runs if run.get("aggregate_name") == "median"]
    chosen = medians or [run for run in runs if run.get("run_type", "iteration") == "iteration"]
    table = {}
    for run in chosen:
        _, kind, size = run["run_name" if "run_name" in run else "name"].split("/")[:3]
        table[(run["label"], int(size))] = run["real_time"] * scale[run.get("time_unit", "ns")]

    context = data.get("context", {})
    print(f"Machine: {context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
          f"{context.get('date', '')}, " + (f"medians of {medians[0].get('repetitions')} runs" if medians else "single runs"))
    print()
    print("| Pattern | 16 MiB | ns/byte | 64 MiB | ns/byte | 64 MiB / 16 MiB | per byte vs mixed (worse size) | Within 3x |")
    print("|---|---|---|---|---|---|---|---|")
    labels = sorted({label for label, _ in table}, key=lambda label: (label != "ascii", label != "mixed", label))
    failed = False
    for label in labels:
        small, large = table[(label, 16 * MIB)], table[(label, 64 * MIB)]
        per_small, per_large = small / (16 * MIB), large / (64 * MIB)
        ratio = max(per_small / (table[("mixed", 16 * MIB)] / (16 * MIB)),
                    per_large / (table[("mixed", 64 * MIB)] / (64 * MIB)))
        ok = ratio <= LIMIT
        failed |= not ok
        print(f"| {label} | {small / 1e6:.1f} ms | {per_small:.2f} | {large / 1e6:.1f} ms | {per_large:.2f} | "
              f"{large / small:.2f} | {ratio:.2f}x | {'yes' if ok else 'NO'} |")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
