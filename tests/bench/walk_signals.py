"""quorvel-bench-walk handles interrupts and the file size limit as the window program does:
SIGINT, SIGTERM and SIGHUP are caught (the temporary files go, then the signal ends the run) and
SIGXFSZ is ignored, so a write beyond `ulimit -f` fails like any other write. POSIX only.
Usage: walk_signals.py WALK"""
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time
import zlib

WALK = sys.argv[1]


def texture(payload):
    return bytes([0x51, 0x54, 1, 2, 3, 4, 5, 0x40]) + bytes(8) + payload


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def write_tree(folder, originals):
    os.makedirs(folder)
    for name, data in originals.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def check_whole(folder, originals):
    """Every file as it was or completely compressed, no other file; returns the untouched."""
    names = sorted(os.listdir(folder))
    check(names == sorted(originals), "files left: %s" % [n for n in names if n not in originals])
    untouched = 0
    for name, data in originals.items():
        with open(os.path.join(folder, name), "rb") as f:
            now = f.read()
        if now == data:
            untouched += 1
            continue
        check(now[7] == 0x46 and zlib.decompress(now[16:]) == data[16:], name + " half written")
    return untouched


def signal_masks(pid):
    with open("/proc/%d/status" % pid) as f:
        fields = dict(line.split(":", 1) for line in f if ":" in line)
    return int(fields["SigCgt"], 16), int(fields["SigIgn"], 16)


def bit(number):
    return 1 << (number - 1)


with tempfile.TemporaryDirectory() as tmp:
    # Over the file size limit: each write fails, "0 4 SECONDS" with exit 1, nothing changed.
    limited = os.path.join(tmp, "limited")
    originals = {"t%d.ace" % i: texture(os.urandom(64 * 1024)) for i in range(4)}
    write_tree(limited, originals)
    proc = subprocess.run([WALK, "-j2", limited], capture_output=True, timeout=120,
                          preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE,
                                                                (16384, 16384)))
    check(proc.returncode == 1, "over the file size limit: exit %d" % proc.returncode)
    check(proc.stdout.split()[:2] == [b"0", b"4"], "printed: %s" % proc.stdout)
    check(proc.stderr.count(b"File too large") == 4, "messages: %s" % proc.stderr)
    check(check_whole(limited, originals) == 4, "a file changed over the size limit")

    # SIGINT part-way: the handlers are in place while the walk runs, and the run ends by the
    # signal with every file whole and no temporary file left.
    if os.path.exists("/proc/self/status"):
        big = os.path.join(tmp, "big")
        originals = {"t%03d.ace" % i: texture(os.urandom(64 * 1024)) for i in range(400)}
        write_tree(big, originals)
        proc = subprocess.Popen([WALK, "-j2", big], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        caught = ignored = 0
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and proc.poll() is None and \
                not caught & bit(signal.SIGINT):
            caught, ignored = signal_masks(proc.pid)
            time.sleep(0.001)
        check(proc.poll() is None, "quorvel-bench-walk ended before it could be interrupted")
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            check(caught & bit(number), "signal %d not caught" % number)
        check(ignored & bit(signal.SIGXFSZ), "SIGXFSZ not ignored")
        proc.send_signal(signal.SIGINT)
        proc.wait(timeout=120)
        check(proc.returncode == -signal.SIGINT, "interrupted: exit %d" % proc.returncode)
        check(check_whole(big, originals) > 0, "the interrupt came after the last file")

print("ok")
