#!/usr/bin/env python3
"""Runs the benchmarks with repetitions and prints their ratios.

Each benchmark of kvbench times the engine and its bare baselines on the
same work, taking turns at going first, and reports the engine's time over
each baseline's as a counter ("vs_sqlite3", "vs_odbc", "vs_odbc_getdata")
for each repetition; every counter named vs_* gets a row of its own.
This script runs kvbench (the Release build in build-rel, built when it is
missing) with 5 repetitions by default, so that every case, 1M rows
included, gives at least 5 ratios, and prints, per benchmark and size, the
median and the spread (min-max) of the per-repetition ratios, with the
median of the engine's time. Then it runs kvbench_memory and prints the
memory that cacheAll() and a listing take at their peak and keep after
their release, beside the bare compact copy of the same rows.

    python3 scripts/bench-ratios.py [--repetitions N] [--filter REGEX]
        [--interleave] [--memory-rows N | --no-memory] [--json FILE]
        [--build-dir DIR] [-- kvbench arguments]

The PostgreSQL cases run when KV_TEST_PG_CONNECTION holds a connection
string (scripts/start-test-postgres.sh gives one); KV_BENCH_LARGE=1 and
KV_BENCH_COPY_ROWS=N ask for the larger sizes of the benchmarks that have
them. Exits 1 when a benchmark or the memory probe failed (a skipped
PostgreSQL case is not a failure).
"""

import argparse
import json
import os
import re
import shlex
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(build_dir):
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir,
                    "-DCMAKE_BUILD_TYPE=Release", "-DKV_BUILD_BENCH=ON"],
                   check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "--build", build_dir, "-j",
                    str(os.cpu_count() or 2), "--target", "kvbench",
                    "kvbench_memory"], check=True, stdout=sys.stderr)


def split_name(run_name):
    """'BM_X/100/1/manual_time' -> ('BM_X', '100/1')."""
    parts = [p for p in run_name.split("/")
             if p and not p.startswith(("manual_time", "real_time",
                                        "iterations:", "repeats:",
                                        "min_time:"))]
    return parts[0], "/".join(parts[1:])


def spread(values):
    return statistics.median(values), min(values), max(values)


def ratio_table(results):
    """Rows of (benchmark, size, counter, n, median, min, max, time) in the
    order the benchmarks ran, and the skipped or failed cases."""
    groups, order, skipped = {}, [], {}
    for run in results.get("benchmarks", []):
        if run.get("run_type") != "iteration":
            continue
        name = run.get("run_name", run["name"])
        if run.get("error_occurred"):
            skipped.setdefault(name, run.get("error_message", "skipped"))
            continue
        if name not in groups:
            groups[name] = {"times": [], "ratios": {}}
            order.append(name)
        groups[name]["times"].append(run["real_time"])
        unit = run.get("time_unit", "ns")
        groups[name]["unit"] = unit
        for key, value in run.items():
            if key.startswith("vs_"):
                groups[name]["ratios"].setdefault(key, []).append(value)
    rows = []
    for name in order:
        group = groups[name]
        benchmark, size = split_name(name)
        time = statistics.median(group["times"])
        for counter, values in group["ratios"].items():
            median, low, high = spread(values)
            rows.append((benchmark, size, counter, len(values), median, low,
                         high, "%.3g %s" % (time, group["unit"])))
    return rows, skipped


def print_ratios(rows, skipped, out):
    out.write("| benchmark | size | ratio | reps | median | min-max "
              "| engine time (median) |\n")
    out.write("|---|---|---|---|---|---|---|\n")
    for benchmark, size, counter, n, median, low, high, time in rows:
        out.write("| %s | %s | %s | %d | %.2f | %.2f-%.2f | %s |\n" %
                  (benchmark, size, counter, n, median, low, high, time))
    for name, message in skipped.items():
        benchmark, size = split_name(name)
        out.write("| %s | %s | skipped: %s | | | | |\n" %
                  (benchmark, size, message))


def memory_table(probe, rows, out):
    """Runs the memory probe; False when it failed."""
    command = [probe, str(rows)]
    sys.stderr.write("$ %s\n" % " ".join(shlex.quote(c) for c in command))
    done = subprocess.run(command, stdout=subprocess.PIPE, text=True)
    cases = {}
    for line in done.stdout.splitlines():
        fields = dict(f.split("=", 1) for f in line.split() if "=" in f)
        if "case" in fields:
            cases[fields["case"]] = fields
    out.write("\n| memory (%s rows) | data MiB | peak MiB | kept after "
              "release MiB | peak / bare compact copy's |\n" % rows)
    out.write("|---|---|---|---|---|\n")
    for name, fields in cases.items():
        bare = cases.get(name if name.endswith("-bare") else name + "-bare")
        share = ""
        if bare and not name.endswith("-bare"):
            share = "%.2f" % (float(fields["peak_mib"]) /
                              max(float(bare["peak_mib"]), 0.1))
        out.write("| %s | %s | %s | %s | %s |\n" %
                  (name, fields["data_mib"], fields["peak_mib"],
                   fields["kept_mib"], share))
    return done.returncode == 0


def main():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build-rel"))
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--filter", help="regex of the benchmarks to run")
    parser.add_argument("--interleave", action="store_true",
                        help="run the repetitions of all benchmarks in a "
                        "random order rather than one benchmark's together")
    parser.add_argument("--memory-rows", type=int, default=1000000)
    parser.add_argument("--no-memory", action="store_true")
    parser.add_argument("--json", help="keep kvbench's JSON output here")
    parser.add_argument("kvbench_args", nargs="*")
    args = parser.parse_args()
    if args.repetitions < 1:
        parser.error("--repetitions must be at least 1")

    kvbench = os.path.join(args.build_dir, "bench", "kvbench")
    probe = os.path.join(args.build_dir, "bench", "kvbench_memory")
    if not (os.access(kvbench, os.X_OK) and os.access(probe, os.X_OK)):
        build(args.build_dir)

    json_file = args.json or tempfile.mkstemp(suffix=".json")[1]
    command = [kvbench, "--benchmark_repetitions=%d" % args.repetitions,
               "--benchmark_out=" + json_file,
               "--benchmark_out_format=json"]
    if args.filter:
        command.append("--benchmark_filter=" + args.filter)
    if args.interleave:
        command.append("--benchmark_enable_random_interleaving=true")
    command += args.kvbench_args
    sys.stderr.write("$ %s\n" % " ".join(shlex.quote(c) for c in command))
    # kvbench's own report goes to stderr as progress; the tables to stdout.
    ran = subprocess.run(command, stdout=sys.stderr)
    with open(json_file) as f:
        results = json.load(f)
    if not args.json:
        os.remove(json_file)

    out = sys.stdout
    out.write("Ratios of the engine's time over the baseline's, %d "
              "repetitions each (median and min-max of the per-repetition "
              "ratios):\n\n" % args.repetitions)
    rows, skipped = ratio_table(results)
    print_ratios(rows, skipped, out)
    ok = ran.returncode == 0
    failed = [n for n, m in skipped.items()
              if not re.search(r"KV_TEST_PG_CONNECTION is not set", m)]
    if failed:
        sys.stderr.write("failed: %s\n" % ", ".join(failed))
        ok = False
    if not args.no_memory:
        ok = memory_table(probe, args.memory_rows, out) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
