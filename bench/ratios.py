#!/usr/bin/env python3
"""Turns one run of brambleon_bench (JSON) into the table of bench/README.md.

    build/bench/bin/brambleon_bench --benchmark_format=json --benchmark_out=bench.json \
        --benchmark_out_format=json && bench/ratios.py bench.json
"""
import json
import sys

MIB = 1024 * 1024


def load(path):
    with open(path) as handle:
        data = json.load(handle)
    runs = {run["name"]: run for run in data["benchmarks"]}
    return data.get("context", {}), runs


def ns(run):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
    return run["real_time"] * scale


def find(runs, prefix):
    for name, run in runs.items():
        if name == prefix or name.startswith(prefix + "/"):
            return run
    raise KeyError(prefix)


def main():
    context, runs = load(sys.argv[1])
    rows = []

    def row(what, measured, floor, ratio, target, ok):
        met = "skipped" if ok is None else "yes" if ok else "NO"
        rows.append(f"| {what} | {measured} | {floor} | {ratio} | {target} | {met} |")

    dispatch = ns(find(runs, "BM_Dispatch_SendToUE4SSLog"))
    direct = ns(find(runs, "BM_Dispatch_DirectConversion"))
    row("SendToUE4SSLog call, 64 chars, discarding log", f"{dispatch:.0f} ns", f"{direct:.0f} ns (conversion)",
        f"{dispatch / direct:.1f}x the floor", "report", True)

    for direction, ours, facet in (("UTF-16 to UTF-8", "BM_Utf16ToUtf8", "BM_Facet_Utf16ToUtf8"),
                                   ("UTF-8 to UTF-16", "BM_Utf8ToUtf16", "BM_Facet_Utf8ToUtf16")):
        for arg, label, target in ((0, "ASCII", 4.0), (1, "mixed", 2.0)):
            mine = find(runs, f"{ours}/{arg}")["items_per_second"]
            std = find(runs, f"{facet}/{arg}")["items_per_second"]
            row(f"{direction}, {label}", f"{mine / 1e6:.0f} M chars/s", f"{std / 1e6:.0f} M chars/s (facet)",
                f"{mine / std:.1f}x", f">= {target:g}x", mine / std >= target)

    for size, label in ((MIB, "1 MiB"), (64 * MIB, "64 MiB")):
        hook = ns(find(runs, f"BM_GetFileContents/{size}"))
        floor = ns(find(runs, f"BM_ReadFloor/{size}"))
        storage = ns(find(runs, f"BM_AnswerStorageFloor/{size}"))
        row(f"GetFileContents, {label} CR LF", f"{hook / 1e6:.2f} ms", f"{floor / 1e6:.2f} ms (read + strip)",
            f"{floor / hook:.2f} of the floor", ">= 0.7", floor / hook >= 0.7)
        row(f"GetFileContents, {label}: the answer's storage alone", f"{hook / 1e6:.2f} ms",
            f"{storage / 1e6:.2f} ms (engine string allocated, written once)",
            f"{storage / hook:.0%} of the hook", "report", True)
        for variant, how in (("BM_Lua54_Process", "whole process"), ("BM_Lua54_InScript", "timed in Lua")):
            rival = find(runs, f"{variant}/{size}")
            if rival.get("error_occurred"):
                row(f"GetFileContents vs Lua 5.4, {label}", f"{hook / 1e6:.2f} ms", f"({how})",
                    rival.get("error_message", "skipped"), ">= 5x", None)
                continue
            lua = ns(rival)
            row(f"GetFileContents vs Lua 5.4, {label}", f"{hook / 1e6:.2f} ms", f"{lua / 1e6:.2f} ms ({how})",
                f"{lua / hook:.1f}x faster (storage alone: {lua / storage:.1f}x)", ">= 5x", lua / hook >= 5)

    names = ns(find(runs, "BM_GetNamesFromDir"))
    enum = ns(find(runs, "BM_EnumerateFloor"))
    row("GetNamesFromDir, 10,000 entries", f"{names / 1e6:.2f} ms", f"{enum / 1e6:.2f} ms (enumeration)",
        f"{enum / names:.2f} of the floor", ">= 0.7", enum / names >= 0.7)

    # Repeated runs: their medians (the host's search counter is aggregated the same way).
    sizes = sorted(((int(name.split("/")[1]), run) for name, run in runs.items()
                    if name.startswith("BM_FindAllOf/") and run.get("aggregate_name") == "median"),
                   key=lambda pair: pair[0])
    if sizes:
        rms = next(run["rms"] for run in runs.values()
                   if run.get("run_name", "").startswith("BM_FindAllOf/") and run.get("aggregate_name") == "RMS")
        detail = ", ".join(f"{n:,}: {ns(run) / 1e6:.2f} ms" for n, run in sizes)
        search = ", ".join(f"{run['host_search_ns'] / 1e6:.2f} ms" for _, run in sizes)
        share = [run["host_search_ns"] / ns(run) for _, run in sizes]
        row("FindAllOf, N of N live objects found (whole call)", detail, f"{search} (host's search)",
            f"search is {min(share):.0%}-{max(share):.0%} of the call; whole-call O(N) fit RMS {rms:.0%}",
            "report", True)
        # What the hook adds to the engine's search: least-squares line through the origin, and
        # its RMS error relative to the mean, as Google Benchmark computes it for the whole call.
        own = [(n, ns(run) - run["host_search_ns"]) for n, run in sizes]
        slope = sum(n * t for n, t in own) / sum(n * n for n, _ in own)
        mean = sum(t for _, t in own) / len(own)
        own_rms = (sum((t - slope * n) ** 2 for n, t in own) / len(own)) ** 0.5 / mean
        row("FindAllOf, the hook's own cost (call minus search)",
            ", ".join(f"{n:,}: {t / 1e3:.0f} us" for n, t in own), "",
            f"{min(t / n for n, t in own):.2f}-{max(t / n for n, t in own):.2f} ns/object, O(N) fit RMS {own_rms:.0%}",
            "linear (O(N) fit RMS < 30%)", own_rms < 0.30)
    for name, run in runs.items():
        if name.startswith("BM_FindAllOfAmong100k/"):
            found = int(name.split("/")[1])
            row(f"FindAllOf, {found:,} found among 100,000", f"{ns(run) / 1e6:.2f} ms",
                f"{run['host_search_ns'] / 1e6:.2f} ms (host's search)", "", "report", True)

    add = ns(find(runs, "BM_AddObjectSelectionSetID/10000"))
    row("AddObjectSelectionSetID into 10,000 entries", f"{add / 1e3:.1f} us", "", "", "report", True)

    mod = ns(find(runs, "BM_IdleTick_Mod"))
    host = ns(find(runs, "BM_IdleTick_HostFloor"))
    idle = (mod - host) / 3
    row("Idle discovery tick (per callback, host dispatch removed)", f"{idle:.2f} ns",
        f"{host / 3:.1f} ns (host, empty callback)", "", "< 5 ns", idle < 5)

    mod = ns(find(runs, "BM_IdleProcessEvent_Mod")) / 1000
    host = ns(find(runs, "BM_IdleProcessEvent_HostFloor")) / 1000
    idle = mod - host
    row("Idle discovery without an engine tick (per ProcessEvent call, host dispatch removed)", f"{idle:.2f} ns",
        f"{host:.1f} ns (host, empty callback)", "", "< 5 ns", idle < 5)

    print(f"Machine: {context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
          f"library build {context.get('library_build_type', '?')}, {context.get('date', '')}\n")
    print("| Comparison | Brambleon | Floor or rival | Ratio | Target | Met |")
    print("|---|---|---|---|---|---|")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
