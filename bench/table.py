#!/usr/bin/env python3
"""Runs every benchmark of a Release build and prints one table: task,
input size, contender, median time, peak memory and the ratio of ours over
the contender (below 1: ours is faster).

usage: bench/table.py BUILD_DIR"""
import json, os, resource, subprocess, sys

build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
rows = []  # task, MB, contender, median text, peak MB text, ratio text


def peak_of_last_child_mb():
    # RUSAGE_CHILDREN keeps the largest child so far; each in-process
    # benchmark runs after the process-per-run ones, largest last wins.
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024


peers = subprocess.run([os.path.join(build, "bench", "bench_peers"), os.path.join(build, "apps")],
                       check=True, capture_output=True, text=True).stdout
for line in peers.splitlines():
    task, mb, who, ms, kb, ratio = (line.split("\t") + [""] * 6)[:6]
    if ms == "failed":
        rows.append((task, mb, who, "failed", "", ""))
    else:
        rows.append((task, mb, who, ms, f"{int(kb) / 1024:.1f}", ratio))


def google_benchmark(exe, extra, label):
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    out = subprocess.run([os.path.join(build, "bench", exe), "--benchmark_format=json"] + extra,
                         check=True, capture_output=True, text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    peak_text = f"{peak / 1024:.1f}" if peak > before else "<= above"
    for b in json.loads(out.stdout)["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        unit = b["time_unit"]
        ms = b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]
        name = b.get("run_name", b["name"])
        rows.append((label(name), "", "penvora", f"{ms:.4f}" if ms < 1 else f"{ms:.1f}", peak_text, "no peer"))


google_benchmark("bench_biometric", ["--benchmark_min_time=0.5"],
                 lambda n: {"BM_WriteRecord10k": "write a 10,000-point record",
                            "BM_ProtectRecord10k": "protect a 10,000-point record",
                            "BM_SummaryAndProtect10k": "summary + protect, 10,000 points"}.get(n, n))
if os.path.exists(os.path.join(build, "bench", "bench_capture")):
    google_benchmark("bench_capture", ["--benchmark_min_time=0.5", "--benchmark_repetitions=3"],
                     lambda n: n.replace("BM_StrokeViewEvent/eventsPerFrame:", "stroke view, one event, repaint every ")
                                .replace("BM_CanvasEvent/eventsPerFrame:", "canvas, one event, repaint every ")
                     + (" event(s)" if "eventsPerFrame" in n else ""))

widths = [max(len(r[i]) for r in rows + [("task", "MB", "contender", "median ms", "peak MB", "ratio")])
          for i in range(6)]
header = ("task", "MB", "contender", "median ms", "peak MB", "ratio")
fmt = lambda r: "  ".join(c.ljust(widths[i]) if i in (0, 2) else c.rjust(widths[i]) for i, c in enumerate(r))
print(fmt(header))
print("  ".join("-" * w for w in widths))
last = None
for r in rows:
    if last is not None and r[0] != last:
        print()
    print(fmt(r))
    last = r[0]
print("\nmedian of 5 runs per contender (process per run) or of Google Benchmark's runs; "
      "ratio = ours / theirs, below 1 ours is faster")
