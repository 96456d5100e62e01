#!/usr/bin/env python3
"""Benchmark driver: runs every way of compressing the same texture tree on fresh copies and
prints the results side by side, after checking every output.

For the large corpus (quorvel-bench-corpus, default 300 MiB):
  limit        zlib compress() over every payload, one thread, no file I/O (quorvel-bench-limit),
               and the same for libdeflate's encoder (the most that engine can gain)
  walk         the window program's folder walk, one thread, same core code (quorvel-bench-walk)
  cli -jN      quorvel-cli with 1, 2 (and N) workers, zlib engine
  libdeflate   quorvel-cli --engine libdeflate
  pigz         pigz -z -6 -p N over the same files, as an outside anchor
For many small files (default 10,000 of 4 KiB): the plain Python baseline (no syncing to disk,
bench/plain_compress.py) beside quorvel-cli -j1 and -j2, in files per second.

Every run is checked: each candidate holds the designed layout and inflates back to its original
payload (pigz: its .zz inflates to the original file), every other file is unchanged and no
stray file is left. MB/s counts payload bytes (MiB = 2^20 bytes) per second of wall time; peak
memory is the maximum resident set size from GNU time.

Each run is repeated (--repeat, rounds interleaved so drift hits every run alike) and its best
wall time is reported. Every run of every round gets its own copy, all made before the first
timed run and deleted after the last: deleting thousands of files just before a run slows the
file creation inside it on some file systems (ext4 without a journal skips recently freed
inodes for a minute), which would charge one run for the clean-up of another.

Usage: bench/run_bench.py [--build build/default] [--work /tmp/quorvel-bench] [--size-mb 300]
                          [--jobs N] [--small 10000] [--repeat 2] [--skip-large] [--skip-small]"""
import argparse
import os
import shutil
import stat
import struct
import subprocess
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1024 * 1024


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
    """Runs under GNU time; returns (wall s, cpu s, peak RSS MiB, stdout)."""
    fmt = "@@time %e %U %S %M"
    proc = subprocess.run(["/usr/bin/time", "-f", fmt] + command, cwd=cwd, capture_output=True,
                          text=True)
    line = [l for l in proc.stderr.splitlines() if l.startswith("@@time")]
    if proc.returncode != 0 or not line:
        sys.exit("failed (%d): %s\n%s" % (proc.returncode, " ".join(command), proc.stderr[-2000:]))
    _, wall, user, system, rss = line[-1].split()
    return float(wall), float(user) + float(system), int(rss) / 1024, proc.stdout


def fresh_copies(corpus, run_dirs):
    """One copy of the corpus per run directory, written out to disk before anything is
    timed so no run flushes another's dirty pages."""
    for run_dir in run_dirs:
        shutil.rmtree(run_dir, ignore_errors=True)
        subprocess.run(["cp", "-a", corpus, run_dir], check=True)
    subprocess.run(["sync"], check=True)


def run_rounds(runs, corpus, work, tag, repeat, measure, needs_copy=lambda run: True):
    """Runs every (name, command, ...) of `runs` `repeat` times, round by round, each that
    `needs_copy` on a fresh copy; `measure(run, run_dir)` times one run and returns a dict with
    "wall". Keeps the result with the best wall time per run."""
    dirs = [[os.path.join(work, "%s-%d-%d" % (tag, r, i)) if needs_copy(run) else None
             for i, run in enumerate(runs)] for r in range(repeat)]
    fresh_copies(corpus, [d for round_dirs in dirs for d in round_dirs if d])
    best = [None] * len(runs)
    for round_dirs in dirs:
        for i, run in enumerate(runs):
            result = measure(run, round_dirs[i])
            if best[i] is None or result["wall"] < best[i]["wall"]:
                best[i] = result
    for round_dirs in dirs:
        for d in round_dirs:
            if d:
                shutil.rmtree(d, ignore_errors=True)
    return best


def fmt_row(cells, widths):
    return "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"


def print_table(header, rows):
    widths = [max(len(str(r[i])) for r in [header] + rows) for i in range(len(header))]
    lines = [fmt_row(header, widths), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
    lines += [fmt_row(r, widths) for r in rows]
    text = "\n".join(lines)
    print(text, flush=True)
    return text


def large(args, tools):
    corpus = os.path.join(args.work, "corpus-%dmb" % args.size_mb)
    if not os.path.isdir(corpus):
        subprocess.run([tools["corpus"], corpus, "--size-mb", str(args.size_mb)], check=True)
    cands = candidates(corpus)
    listing = os.path.join(args.work, "candidates.txt")
    with open(listing, "w") as f:
        f.write("".join(os.path.join(corpus, c) + "\n" for c in cands))
    sizes = [os.path.getsize(os.path.join(corpus, c)) for c in cands]
    largest = max(sizes) - 16
    print("corpus: %s, %d candidates, %.1f MiB of payload, largest payload %.2f MiB"
          % (corpus, len(cands), (sum(sizes) - 16 * len(sizes)) / MIB, largest / MIB), flush=True)

    payload_mib = sum(size - 16 for size in sizes) / MIB
    # The limits are timed in every round too, so they see the same machine as the runs.
    runs = [("in-memory zlib limit (1 thread)", [tools["limit"], listing], 1),
            # The same for libdeflate's encoder: the most --engine libdeflate can gain.
            ("in-memory libdeflate limit (1 thread)", [tools["limit"], listing, "libdeflate"], 1)]

    jobs = args.jobs
    runs.append(("folder walk as the window program (1 thread)", [tools["walk"]], 1))
    job_counts = sorted({1, 2, jobs})
    for j in job_counts:
        runs.append(("quorvel-cli -j%d" % j, [tools["cli"], "-q", "-j%d" % j], j))
    for j in sorted({2, jobs}):
        runs.append(("quorvel-cli --engine libdeflate -j%d" % j,
                     [tools["cli"], "-q", "--engine", "libdeflate", "-j%d" % j], j))
    for j in sorted({1, 2, jobs}):
        runs.append(("pigz -z -6 -p %d (anchor)" % j, ["xargs", "-0", "pigz", "-z", "-6", "-p",
                                                        str(j), "--"], j))
    def is_limit(run):
        return run[1][0] == tools["limit"]

    def measure(run, run_dir):
        name, command, j = run
        if is_limit(run):
            out = subprocess.run(command, check=True, capture_output=True, text=True)
            payload, compressed, seconds = out.stdout.split()
            seconds = float(seconds)
            print("  %s: %.2f s, %.1f MiB/s" % (name, seconds, payload_mib / seconds), flush=True)
            return {"wall": seconds, "cpu": seconds, "rss": None,
                    "saved": int(payload) - int(compressed), "problem": None}
        if command[0] == "xargs":
            # pigz gets the same candidate files, fed through xargs so no list is too long.
            names = "\0".join(os.path.join(run_dir, c) for c in cands)
            proc_input = os.path.join(args.work, "pigz-input")
            with open(proc_input, "w") as f:
                f.write(names)
            command = ["sh", "-c", "xargs -0 pigz -z -6 -p %d -- < '%s'" % (j, proc_input)]
        else:
            command = command + [run_dir]
        wall, cpu, rss, _ = timed(command)
        saved, problem = verify(corpus, run_dir, cands, pigz=name.startswith("pigz"))
        print("  %s: %.2f s, %.1f MiB/s, %s" % (name, wall, payload_mib / wall,
                                                problem or "verified"), flush=True)
        return {"wall": wall, "cpu": cpu, "rss": rss, "saved": saved, "problem": problem}

    results = run_rounds(runs, corpus, args.work, "run", args.repeat, measure,
                         needs_copy=lambda run: not is_limit(run))
    limit_rate = payload_mib / results[0]["wall"]
    rows = []
    for (name, _, j), r in zip(runs, results):
        rate = payload_mib / r["wall"]
        budget = j * 2.1 * largest / MIB + 64
        rows.append([name, "%.2f" % r["wall"], "%.2f" % r["cpu"], "%.1f" % rate,
                     "%.2f" % (rate / limit_rate), r["saved"],
                     "%.0f" % r["rss"] if r["rss"] is not None else "-",
                     "%.0f" % budget if "quorvel-cli" in name else "-", r["problem"] or "ok"])
    return print_table(["run", "wall s", "cpu s", "MiB/s", "x limit", "bytes saved",
                        "peak MiB", "mem target MiB", "check"], rows)


def small(args, tools):
    corpus = os.path.join(args.work, "small-%d" % args.small)
    if not os.path.isdir(corpus):
        subprocess.run([tools["corpus"], corpus, "--small", str(args.small), "--file-size",
                        str(args.small_size)], check=True)
    cands = candidates(corpus)
    runs = [("plain Python script, no sync (bench/plain_compress.py)",
             [sys.executable, os.path.join(HERE, "plain_compress.py")])]
    for j in sorted({1, 2, args.jobs}):
        runs.append(("quorvel-cli -j%d" % j, [tools["cli"], "-q", "-j%d" % j]))

    def measure(run, run_dir):
        name, command = run
        wall, cpu, rss, _ = timed(command + [run_dir])
        saved, problem = verify(corpus, run_dir, cands)
        print("  %s: %.2f s, %.0f files/s, %s" % (name, wall, len(cands) / wall,
                                                  problem or "verified"), flush=True)
        return {"wall": wall, "cpu": cpu, "rss": rss, "saved": saved, "problem": problem}

    rows = []
    for (name, _), r in zip(runs, run_rounds(runs, corpus, args.work, "run-small", args.repeat,
                                              measure)):
        rows.append([name, "%.2f" % r["wall"], "%.2f" % r["cpu"], "%.0f" % (len(cands) / r["wall"]),
                     r["saved"], "%.0f" % r["rss"], r["problem"] or "ok"])
    print("%d files of %d bytes" % (len(cands), args.small_size))
    return print_table(["run", "wall s", "cpu s", "files/s", "bytes saved", "peak MiB", "check"],
                       rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "default"))
    parser.add_argument("--work", default="/tmp/quorvel-bench")
    parser.add_argument("--size-mb", type=int, default=300)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--small", type=int, default=10000)
    parser.add_argument("--small-size", type=int, default=4096)
    parser.add_argument("--repeat", type=int, default=2)
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
    print("%s, %d cores, load average %.1f" % (time.strftime("%Y-%m-%d %H:%M"),
                                               os.cpu_count() or 0, os.getloadavg()[0]))
    report = []
    if not args.skip_large:
        report.append(large(args, tools))
    if not args.skip_small:
        report.append(small(args, tools))
    with open(os.path.join(args.work, "results.md"), "w") as f:
        f.write("\n\n".join(report) + "\n")


if __name__ == "__main__":
    main()
