#!/usr/bin/env python3
"""Benchmark driver: runs every way of compressing the same texture tree on fresh copies, checks
every output, and prints the results side by side with the targets, met or not.

For the large corpus (quorvel-bench-corpus, default 300 MiB):
  limit        zlib compress() over every payload, one thread, no file I/O (quorvel-bench-limit),
               and the same for libdeflate's encoder (the most that engine can gain)
  walk -jN     the window program's folder mode without windows (quorvel-bench-walk), with 1 and
               with all workers
  cli -jN      quorvel-cli with 1, 2 (and N) workers, zlib engine
  libdeflate   quorvel-cli --engine libdeflate
  pigz         pigz -z -6 -p N over the same files, as an outside anchor
For many small files (default 10,000 of 4 KiB): the plain Python baseline (no syncing to disk,
bench/plain_compress.py) beside quorvel-cli and the folder mode, in files per second, and how long
the folder mode's status line stood still at most.

Every run is checked: each candidate holds the designed layout and inflates back to its original
payload (pigz: its .zz inflates to the original file), every other file is unchanged and no
stray file is left. MiB/s counts payload bytes (MiB = 2^20 bytes) per second of wall time; peak
memory is the maximum resident set size from GNU time, checked against the pipeline's bound.

Rounds are interleaved (--repeat, default 3), so drift hits every run alike, and ratios are taken
within each round: a run's rate over the in-memory zlib limit of the same round ("x limit") and
over pigz with as many threads in the same round ("x pigz"). The tables give the median over the
rounds of each figure. Every run of every round gets its own copy, all made before the first
timed run and deleted after the last: deleting thousands of files just before a run slows the
file creation inside it on some file systems (ext4 without a journal skips recently freed inodes
for a minute), which would charge one run for the clean-up of another.

Usage: bench/run_bench.py [--build build/default] [--work /tmp/quorvel-bench] [--size-mb 300]
                          [--jobs N] [--small 10000] [--repeat 3] [--skip-large] [--skip-small]"""
import argparse
import os
import re
import shutil
import stat
import statistics
import struct
import subprocess
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1024 * 1024

# The pipeline's memory bound (pipeline/RewritePipeline.h): each worker holds one file (payload
# and compression buffer), read-ahead and write-behind hold up to 32 MiB each, exceeded by one
# file at most; plus what the program itself takes.
READ_AHEAD_MIB = 32
WRITE_BEHIND_MIB = 32
PROGRAM_MIB = 16


def memory_bound_mib(jobs, largest_payload_mib):
    return ((2 * jobs + 2) * largest_payload_mib + READ_AHEAD_MIB + WRITE_BEHIND_MIB +
            PROGRAM_MIB)


def candidates(root):
    """Relative paths of the files the folder walk compresses: .ACE in any case, regular, not
    read-only, not yet marked."""
    found = []
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            info = os.lstat(path)
            if name[-4:].upper() != ".ACE" or not stat.S_ISREG(info.st_mode):
                continue
            if not info.st_mode & stat.S_IWUSR:
                continue
            with open(path, "rb") as f:
                head = f.read(8)
            if len(head) == 8 and head[7] <= 0x40:
                found.append(os.path.relpath(path, root))
    return found


def all_files(root):
    out = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            out[os.path.relpath(path, root)] = path
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def verify(corpus, run_dir, cands, pigz=False):
    """Checks a finished run; returns (bytes saved, problem or None)."""
    before = all_files(corpus)
    after = all_files(run_dir)
    cand_set = set(cands)
    saved = 0
    expected_names = set(before)
    if pigz:
        expected_names = {n + ".zz" if n in cand_set else n for n in before}
    if set(after) != expected_names:
        extra = sorted(set(after) ^ expected_names)[:5]
        return 0, "file names differ: %s" % extra
    for name, path in before.items():
        original = read(path)
        if name not in cand_set:
            if read(after[name]) != original:
                return 0, "non-candidate changed: " + name
            continue
        if pigz:
            out = read(after[name + ".zz"])
            if zlib.decompress(out) != original:
                return 0, "pigz output does not inflate to the original: " + name
            saved += len(original) - len(out)
            continue
        out = read(after[name])
        payload = original[16:]
        if out[:7] != original[:7] or out[7] != 0x46 or out[12:16] != b"@@@@":
            return 0, "bad header: " + name
        if struct.unpack("<i", out[8:12])[0] != len(payload):
            return 0, "bad stored size: " + name
        d = zlib.decompressobj()
        if d.decompress(out[16:]) != payload or not d.eof or d.unused_data:
            return 0, "stream does not inflate to exactly the payload: " + name
        saved += len(original) - len(out)
    return saved, None


def timed(command, cwd=None):
    """Runs under GNU time; returns (wall s, cpu s, peak RSS MiB, stdout, stderr)."""
    fmt = "@@time %e %U %S %M"
    proc = subprocess.run(["/usr/bin/time", "-f", fmt] + command, cwd=cwd, capture_output=True,
                          text=True)
    line = [l for l in proc.stderr.splitlines() if l.startswith("@@time")]
    if proc.returncode != 0 or not line:
        sys.exit("failed (%d): %s\n%s" % (proc.returncode, " ".join(command), proc.stderr[-2000:]))
    _, wall, user, system, rss = line[-1].split()
    return float(wall), float(user) + float(system), int(rss) / 1024, proc.stdout, proc.stderr


def still_ms(stderr):
    """The longest time the folder mode's status line stood still, from quorvel-bench-walk."""
    found = re.search(r"still for at most (\d+) ms", stderr)
    return int(found.group(1)) if found else None


# When the benchmark last deleted files. ext4 without a journal passes over every inode freed
# in the last minute (five, while its inode table block is unwritten) each time it creates a
# file, so runs timed right after a deletion pay for the benchmark's own clean-up.
last_deletion = None
INODE_QUARANTINE_S = 65


def remove_tree(path):
    global last_deletion
    if os.path.lexists(path):
        shutil.rmtree(path, ignore_errors=True)
        last_deletion = time.monotonic()


def settle_after_deletions():
    """Writes the deletions out and waits until the inodes they freed may be reused."""
    if last_deletion is None:
        return
    subprocess.run(["sync"], check=True)
    wait = INODE_QUARANTINE_S - (time.monotonic() - last_deletion)
    if wait > 0:
        print("waiting %.0f s for the inodes of deleted copies to be reusable" % wait, flush=True)
        time.sleep(wait)


def fresh_copies(corpus, run_dirs):
    """One copy of the corpus per run directory, written out to disk before anything is
    timed so no run flushes another's dirty pages."""
    for run_dir in run_dirs:
        remove_tree(run_dir)
        subprocess.run(["cp", "-a", corpus, run_dir], check=True)
    subprocess.run(["sync"], check=True)
    settle_after_deletions()


def run_rounds(runs, corpus, work, tag, repeat, measure, needs_copy=lambda run: True):
    """Runs every run of `runs` `repeat` times, round by round, each that `needs_copy` on a fresh
    copy; `measure(run, run_dir)` times one run and returns a dict with "wall". Returns the
    results as rounds[round][run]."""
    dirs = [[os.path.join(work, "%s-%d-%d" % (tag, r, i)) if needs_copy(run) else None
             for i, run in enumerate(runs)] for r in range(repeat)]
    fresh_copies(corpus, [d for round_dirs in dirs for d in round_dirs if d])
    rounds = []
    for r, round_dirs in enumerate(dirs):
        print("round %d of %d, load average %.1f" % (r + 1, repeat, os.getloadavg()[0]),
              flush=True)
        rounds.append([measure(run, round_dirs[i]) for i, run in enumerate(runs)])
    for round_dirs in dirs:
        for d in round_dirs:
            if d:
                remove_tree(d)
    return rounds


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def fmt_row(cells, widths):
    return "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"


def print_table(header, rows):
    widths = [max(len(str(r[i])) for r in [header] + rows) for i in range(len(header))]
    lines = [fmt_row(header, widths), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
    lines += [fmt_row(r, widths) for r in rows]
    text = "\n".join(lines)
    print(text, flush=True)
    return text


def fmt(value, pattern="%.2f"):
    return "-" if value is None else pattern % value


class Targets:
    """The targets, each checked on the median over the rounds."""

    def __init__(self):
        self.rows = []

    def check(self, what, measured, goal, unit="x", lower_is_better=False):
        if measured is None:
            self.rows.append([what, "-", "not measured"])
            return
        met = measured <= goal if lower_is_better else measured >= goal
        shown = ("%.0f %s" if unit == "ms" else "%.2f%s") % (measured, " ms" if unit == "ms"
                                                               else unit)
        self.rows.append([what, shown, "met" if met else "NOT MET"])

    def table(self):
        return print_table(["target", "median of the rounds", "met"], self.rows)


def large(args, tools, targets):
    corpus = os.path.join(args.work, "corpus-%dmb" % args.size_mb)
    if not os.path.isdir(corpus):
        subprocess.run([tools["corpus"], corpus, "--size-mb", str(args.size_mb)], check=True)
    cands = candidates(corpus)
    listing = os.path.join(args.work, "candidates.txt")
    with open(listing, "w") as f:
        f.write("".join(os.path.join(corpus, c) + "\n" for c in cands))
    sizes = [os.path.getsize(os.path.join(corpus, c)) for c in cands]
    largest_mib = (max(sizes) - 16) / MIB
    payload_mib = sum(size - 16 for size in sizes) / MIB
    print("corpus: %s, %d candidates, %.1f MiB of payload, largest payload %.2f MiB"
          % (corpus, len(cands), payload_mib, largest_mib), flush=True)

    jobs = args.jobs
    all_jobs = sorted({1, 2, jobs})
    # (name, command, jobs, kind); the limits are timed in every round too, so they see the same
    # machine as the runs.
    runs = [("in-memory zlib limit (1 thread)", [tools["limit"], listing], 1, "limit"),
            ("in-memory libdeflate limit (1 thread)", [tools["limit"], listing, "libdeflate"], 1,
             "limit")]
    for j in sorted({1, jobs}):
        runs.append(("folder mode, quorvel-bench-walk -j%d" % j, [tools["walk"], "-j%d" % j], j,
                     "walk"))
    for j in all_jobs:
        runs.append(("quorvel-cli -j%d" % j, [tools["cli"], "-q", "-j%d" % j], j, "cli"))
    for j in sorted({2, jobs}):
        runs.append(("quorvel-cli --engine libdeflate -j%d" % j,
                     [tools["cli"], "-q", "--engine", "libdeflate", "-j%d" % j], j, "cli"))
    for j in all_jobs:
        runs.append(("pigz -z -6 -p %d (anchor)" % j, None, j, "pigz"))

    def measure(run, run_dir):
        name, command, j, kind = run
        if kind == "limit":
            out = subprocess.run(command, check=True, capture_output=True, text=True)
            payload, compressed, seconds = out.stdout.split()
            seconds = float(seconds)
            print("  %s: %.2f s, %.1f MiB/s" % (name, seconds, payload_mib / seconds), flush=True)
            return {"wall": seconds, "cpu": seconds, "rss": None,
                    "saved": int(payload) - int(compressed), "problem": None}
        if kind == "pigz":
            # pigz gets the same candidate files, fed through xargs so no list is too long.
            proc_input = os.path.join(args.work, "pigz-input")
            with open(proc_input, "w") as f:
                f.write("\0".join(os.path.join(run_dir, c) for c in cands))
            command = ["sh", "-c", "xargs -0 pigz -z -6 -p %d -- < '%s'" % (j, proc_input)]
        else:
            command = command + [run_dir]
        wall, cpu, rss, _, _ = timed(command)
        saved, problem = verify(corpus, run_dir, cands, pigz=kind == "pigz")
        print("  %s: %.2f s, %.1f MiB/s, %s" % (name, wall, payload_mib / wall,
                                                problem or "verified"), flush=True)
        return {"wall": wall, "cpu": cpu, "rss": rss, "saved": saved, "problem": problem}

    rounds = run_rounds(runs, corpus, args.work, "run", args.repeat, measure,
                        needs_copy=lambda run: run[3] != "limit")
    pigz_index = {run[2]: i for i, run in enumerate(runs) if run[3] == "pigz"}

    def per_round(i, over):
        """The run's rate over run `over`'s, in each round."""
        return [r[over]["wall"] / r[i]["wall"] for r in rounds]

    rows = []
    ratios = {}
    for i, (name, _, j, kind) in enumerate(runs):
        x_limit = median(per_round(i, 0))
        x_pigz = median(per_round(i, pigz_index[j])) if kind in ("walk", "cli") else None
        ratios[name] = (x_limit, x_pigz)
        wall = median([r[i]["wall"] for r in rounds])
        rss = median([r[i]["rss"] for r in rounds])
        bound = memory_bound_mib(j, largest_mib) if kind in ("walk", "cli") else None
        problems = [r[i]["problem"] for r in rounds if r[i]["problem"]]
        rows.append([name, "%.2f" % wall, fmt(median([r[i]["cpu"] for r in rounds])),
                     "%.1f" % (payload_mib / wall), fmt(x_limit), fmt(x_pigz),
                     rounds[0][i]["saved"], fmt(rss, "%.0f"), fmt(bound, "%.0f"),
                     problems[0] if problems else "ok"])
        if bound is not None:
            targets.check("peak memory of %s within %.0f MiB" % (name, bound), rss, bound, " MiB",
                          lower_is_better=True)
    table = print_table(["run", "wall s", "cpu s", "MiB/s", "x limit", "x pigz", "bytes saved",
                         "peak MiB", "bound MiB", "check"], rows)

    def x_limit(name):
        return ratios.get(name, (None, None))[0]

    walk_all = "folder mode, quorvel-bench-walk -j%d" % jobs
    targets.check("folder mode, %d workers >= %.2f x limit" % (jobs, 0.925 * jobs),
                  x_limit(walk_all), 0.925 * jobs)
    targets.check("folder mode, 1 worker >= 0.95 x limit",
                  x_limit("folder mode, quorvel-bench-walk -j1"), 0.95)
    targets.check("quorvel-cli -j1 >= 0.95 x limit", x_limit("quorvel-cli -j1"), 0.95)
    targets.check("quorvel-cli -j2 >= 1.9 x limit", x_limit("quorvel-cli -j2"), 1.9)
    targets.check("quorvel-cli -j2 >= 1.1 x pigz -p 2", ratios["quorvel-cli -j2"][1], 1.1)
    targets.check("quorvel-cli --engine libdeflate -j2 >= 4.2 x limit",
                  x_limit("quorvel-cli --engine libdeflate -j2"), 4.2)
    return table


def small(args, tools, targets):
    corpus = os.path.join(args.work, "small-%d" % args.small)
    if not os.path.isdir(corpus):
        subprocess.run([tools["corpus"], corpus, "--small", str(args.small), "--file-size",
                        str(args.small_size)], check=True)
    cands = candidates(corpus)
    runs = [("plain Python script, no sync (bench/plain_compress.py)",
             [sys.executable, os.path.join(HERE, "plain_compress.py")])]
    for j in sorted({1, 2, args.jobs}):
        runs.append(("quorvel-cli -j%d" % j, [tools["cli"], "-q", "-j%d" % j]))
    runs.append(("folder mode, quorvel-bench-walk -j%d" % args.jobs,
                 [tools["walk"], "-j%d" % args.jobs]))

    def measure(run, run_dir):
        name, command = run
        wall, cpu, rss, _, err = timed(command + [run_dir])
        saved, problem = verify(corpus, run_dir, cands)
        print("  %s: %.2f s, %.0f files/s, %s" % (name, wall, len(cands) / wall,
                                                  problem or "verified"), flush=True)
        return {"wall": wall, "cpu": cpu, "rss": rss, "saved": saved, "problem": problem,
                "still": still_ms(err)}

    rounds = run_rounds(runs, corpus, args.work, "run-small", args.repeat, measure)
    rows = []
    x_script = {}
    for i, (name, _) in enumerate(runs):
        wall = median([r[i]["wall"] for r in rounds])
        x_script[name] = median([r[0]["wall"] / r[i]["wall"] for r in rounds])
        still = median([r[i]["still"] for r in rounds])
        problems = [r[i]["problem"] for r in rounds if r[i]["problem"]]
        rows.append([name, "%.2f" % wall, fmt(median([r[i]["cpu"] for r in rounds])),
                     "%.0f" % (len(cands) / wall), fmt(x_script[name]), rounds[0][i]["saved"],
                     fmt(median([r[i]["rss"] for r in rounds]), "%.0f"), fmt(still, "%.0f"),
                     problems[0] if problems else "ok"])
    print("%d files of %d bytes" % (len(cands), args.small_size))
    table = print_table(["run", "wall s", "cpu s", "files/s", "x script", "bytes saved",
                         "peak MiB", "status still ms", "check"], rows)
    targets.check("%d x %d B: quorvel-cli -j2 >= 2 x the plain script" %
                  (len(cands), args.small_size), x_script.get("quorvel-cli -j2"), 2.0)
    walk = "folder mode, quorvel-bench-walk -j%d" % args.jobs
    targets.check("%d x %d B: folder mode's status line still <= 100 ms" %
                  (len(cands), args.small_size),
                  median([r[len(runs) - 1]["still"] for r in rounds]), 100, "ms",
                  lower_is_better=True)
    assert runs[-1][0] == walk
    return table


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "default"))
    parser.add_argument("--work", default="/tmp/quorvel-bench")
    parser.add_argument("--size-mb", type=int, default=300)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--small", type=int, default=10000)
    parser.add_argument("--small-size", type=int, default=4096)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--skip-large", action="store_true")
    parser.add_argument("--skip-small", action="store_true")
    args = parser.parse_args()
    tools = {
        "corpus": os.path.join(args.build, "bench", "quorvel-bench-corpus"),
        "limit": os.path.join(args.build, "bench", "quorvel-bench-limit"),
        "walk": os.path.join(args.build, "bench", "quorvel-bench-walk"),
        "cli": os.path.join(args.build, "cli", "quorvel-cli"),
    }
    for tool in tools.values():
        if not os.access(tool, os.X_OK):
            sys.exit("missing %s: build the project first (cmake --build --preset default)" % tool)
    os.makedirs(args.work, exist_ok=True)
    print("%s, %d cores, load average %.1f %.1f %.1f" % ((time.strftime("%Y-%m-%d %H:%M"),
                                                         os.cpu_count() or 0) + os.getloadavg()))
    report = []
    targets = Targets()
    if not args.skip_large:
        report.append(large(args, tools, targets))
    if not args.skip_small:
        report.append(small(args, tools, targets))
    report.append(targets.table())
    print("load average at the end: %.1f %.1f %.1f" % os.getloadavg())
    with open(os.path.join(args.work, "results.md"), "w") as f:
        f.write("\n\n".join(report) + "\n")


if __name__ == "__main__":
    main()
