#!/usr/bin/env python3
"""Runs every benchmark of a Release build and prints one table: task,
input size, contender, median time, peak memory and the ratio of ours over
the contender (below 1: ours is faster).

usage: bench/table.py BUILD_DIR"""
import json, os, subprocess, sys

build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
rows = []  # task, MB, contender, median text, peak MB text, ratio text


def run_child(argv, env=None):
    """Output and peak resident memory (MB) of one child process."""
    p = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    out = p.stdout.read()
    _, status, usage = os.wait4(p.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{argv[0]} failed")
    return out, usage.ru_maxrss / 1024


peers, _ = run_child([os.path.join(build, "bench", "bench_peers"), os.path.join(build, "apps")])
for line in peers.splitlines():
    task, mb, who, ms, kb, ratio = (line.split("\t") + [""] * 6)[:6]
    if ms == "failed":
        rows.append((task, mb, who, "failed", "", ""))
    else:
        rows.append((task, mb, who, ms, f"{int(kb) / 1024:.1f}", ratio))


def google_benchmark(exe, names, extra):
    """One process per benchmark, so each row has its own peak memory."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for name, label in names:
        out, peak = run_child([os.path.join(build, "bench", exe), "--benchmark_format=json",
                               f"--benchmark_filter=^{name}$"] + extra, env)
        results = json.loads(out)["benchmarks"]
        medians = [b for b in results if b.get("aggregate_name") == "median"]
        for b in medians or results:
            unit = b["time_unit"]
            ms = b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]
            rows.append((label, "", "penvora", f"{ms:.4f}" if ms < 1 else f"{ms:.1f}", f"{peak:.1f}", "no peer"))


google_benchmark("bench_biometric", [("BM_WriteRecord10k", "record: write 10,000 points"),
                                     ("BM_ProtectRecord10k", "record: protect 10,000 points"),
                                     ("BM_SummaryAndProtect10k", "record: summary + protect, 10,000 points")],
                 ["--benchmark_min_time=0.5", "--benchmark_repetitions=3"])
google_benchmark("bench_engine", [(f"BM_SignDocuments/pages:{n}", f"in-process: signDocuments, {n} page{'s' if n > 1 else ''}")
                                  for n in (1, 500)], ["--benchmark_repetitions=3"])
google_benchmark("bench_params", [(f"BM_DecodeRequestWithTexts/{n}", f"request: decode with {n:,} custom texts")
                                  for n in (1024, 32768, 524288)], ["--benchmark_repetitions=3"])
if os.path.exists(os.path.join(build, "bench", "bench_capture")):
    google_benchmark("bench_capture",
                     [("BM_StrokeViewEvent/eventsPerFrame:1", "pen event: stroke view, repaint each"),
                      ("BM_StrokeViewEvent/eventsPerFrame:4", "pen event: stroke view, repaint every 4th"),
                      ("BM_CanvasEvent/eventsPerFrame:1", "pen event: capture canvas, repaint each"),
                      ("BM_CanvasEvent/eventsPerFrame:4", "pen event: capture canvas, repaint every 4th")],
                     ["--benchmark_min_time=0.5", "--benchmark_repetitions=3"])

# The signing screen on big documents: ours measured inside the process
# from handleDocument (or the search call), the peers as whole processes.
viewer = os.path.join(build, "bench", "bench_viewer")
if os.path.exists(viewer):
    import shutil, statistics, tempfile, time
    work = tempfile.mkdtemp(prefix="penvora-bench-viewer-")
    run_child([viewer, "inputs", work])
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    def ours(args):
        out, mb = run_child([viewer] + args, env)
        return float(out.split()[0]), mb

    def theirs(argv, shell=False):
        start = time.perf_counter()
        if shell:
            subprocess.run(argv, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            mb = 0.0
        else:
            _, mb = run_child(argv)
        return (time.perf_counter() - start) * 1000, mb

    def alternately(contenders, runs=7):
        """Median ms and peak MB of each contender, their runs taken in turn
        so that a slower spell of the machine falls on all of them alike."""
        times = {who: [] for who, _ in contenders}
        peaks = {who: 0.0 for who, _ in contenders}
        for _ in range(runs):
            for who, measure in contenders:
                ms, mb = measure()
                times[who].append(ms)
                peaks[who] = max(peaks[who], mb)
        return {who: (statistics.median(times[who]), peaks[who]) for who, _ in contenders}

    def fmt_ms(ms):
        return f"{ms:.1f}"

    for name, file in (("500 pages", "pages-500.pdf"), ("50 MB", "picture-50.pdf")):
        path = os.path.join(work, file)
        mbytes = f"{os.path.getsize(path) / 1e6:.1f}"
        task = f"screen: first page, {name}"
        contenders = [("penvora", lambda: ours(["first-page", path]))]
        for who, argv in (("pdftoppm -f 1 -l 1", ["pdftoppm", "-f", "1", "-l", "1", "-r", "96", "-png", path,
                                                  os.path.join(work, "p")]),
                          ("mutool draw", ["mutool", "draw", "-r", "96", "-o", os.path.join(work, "m.png"), path, "1"])):
            if shutil.which(argv[0]):
                contenders.append((who, lambda argv=argv: theirs(argv)))
        results = alternately(contenders)
        ms, peak = results["penvora"]
        rows.append((task, mbytes, "penvora", fmt_ms(ms), f"{peak:.1f}", "1.00"))
        for who, _ in contenders[1:]:
            t, p = results[who]
            rows.append((task, mbytes, who, fmt_ms(t), f"{p:.1f}", f"{ms / t:.2f}"))
        task = f"screen: text search, every page, {name}"
        contenders = [("penvora", lambda: ours(["search", path, "words on no page"]))]
        if shutil.which("pdftotext"):
            contenders.append(("pdftotext | grep", lambda: theirs(f"pdftotext '{path}' - | grep -c 'words on no page'",
                                                                   shell=True)))
        results = alternately(contenders)
        ms, peak = results["penvora"]
        rows.append((task, mbytes, "penvora", fmt_ms(ms), f"{peak:.1f}", "1.00"))
        if "pdftotext | grep" in results:
            t, _ = results["pdftotext | grep"]
            rows.append((task, mbytes, "pdftotext | grep", fmt_ms(t), "", f"{ms / t:.2f}"))
    shutil.rmtree(work)

widths = [max(len(r[i]) for r in rows + [("task", "MB", "contender", "median ms", "peak MB", "ratio")])
          for i in range(6)]
header = ("task", "MB", "contender", "median ms", "peak MB", "ratio")
fmt = lambda r: "  ".join(c.ljust(widths[i]) if i in (0, 2) else c.rjust(widths[i]) for i, c in enumerate(r))
print(fmt(header))
print("  ".join("-" * w for w in widths))
section = lambda task: task.split(":")[0]
last = None
for r in rows:
    if last is not None and section(r[0]) != last:
        print()
    print(fmt(r))
    last = section(r[0])
# Signing must hash the whole file; what it costs beyond that should not
# grow with the pages or the megabytes.
past = []
for task in dict.fromkeys(r[0] for r in rows if r[0].startswith("sign ")):
    ms = {r[2]: r[3] for r in rows if r[0] == task}
    try:
        past.append(f"{task[5:]} {float(ms['penvora']) - float(ms['sha512sum']):.1f}")
    except (KeyError, ValueError):
        pass
if past:
    print("\nsigning, ms past sha512sum's: " + ", ".join(past))
print("\nmedian of 5 runs per contender (process per run; the screen rows 7, taken in turn) or of Google "
      "Benchmark's runs; "
      "ratio = ours / theirs, below 1 ours is faster")
