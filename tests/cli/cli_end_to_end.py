"""quorvel-cli end to end: JSON that parses and adds up, a dry run that writes nothing, -v's line
for every file, -j1 (one syncfs per batch) and -j8 (an fsync per file) writing the same bytes,
--verify catching damage, -d restoring what compression wrote and refusing damaged files, the
exit codes, paths shown with the system's separator, names whole on a (Windows) console, and
Ctrl-C ending with exit status 130 and no half-written file. Usage: PROGRAM [EMULATOR] CLI, e.g.
`wine quorvel-cli.exe`."""
import json
import os
import pty
import re
import resource
import select
import signal
import subprocess
import sys
import tempfile
import time
import zlib

CLI = sys.argv[1:]
emulated = len(CLI) > 1


def texture(payload, marker=0x40):
    return bytes([0x51, 0x54, 1, 2, 3, 4, 5, marker]) + bytes(8) + payload


def make_tree(root):
    for i in range(30):
        folder = os.path.join(root, "Dir%d" % (i % 3), "Deep" if i % 2 else "")
        os.makedirs(folder, exist_ok=True)
        payload = (b"texel %d " % i) * (200 + 37 * i) + os.urandom(0) + bytes(range(256)) * (i % 5)
        with open(os.path.join(folder, "t%d.%s" % (i, "ACE" if i % 2 else "ace")), "wb") as f:
            f.write(texture(payload))
    with open(os.path.join(root, "readme.txt"), "wb") as f:
        f.write(b"not a texture")
    locked = os.path.join(root, "locked.ace")
    with open(locked, "wb") as f:
        f.write(texture(b"x" * 100))
    os.chmod(locked, 0o444)


def snapshot(root):
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


def run(*args):
    proc = subprocess.run([*CLI, *args], capture_output=True, timeout=120)
    return proc.returncode, proc.stdout, proc.stderr


def on_terminal(*args):
    """What the program writes on a terminal (a pseudo-terminal) until it ends."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([*CLI, *args], stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    out = b""
    while select.select([master], [], [], 60)[0]:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal's other end closed
            break
        if not chunk:
            break
        out += chunk
    os.close(master)
    proc.wait(timeout=60)
    return out


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


with tempfile.TemporaryDirectory() as tmp:
    a, b = os.path.join(tmp, "a"), os.path.join(tmp, "b")
    make_tree(a)
    make_tree(b)
    before = snapshot(a)

    code, out, err = run("-n", "--json", "-", a)
    check(code == 0, "dry run exit code %d: %s" % (code, err))
    check(snapshot(a) == before, "the dry run changed files")
    dry = json.loads(out)

    # -v: a line for every file as it finishes, in walk order, with what it saved; -q and -v
    # exclude each other.
    code, _, err = run("-n", "-v", a)
    lines = err.decode().splitlines()
    check(code == 0 and len(lines) == 31, "-v gave %d lines: %s" % (len(lines), err))
    check(sum(": would be compressed, " in line and " bytes saved (" in line
              for line in lines) == 30, "-v lines: %s" % err)
    check(any(line.endswith("locked.ace: read-only, skipped") for line in lines),
          "-v line of the read-only file: %s" % err)
    names = [re.split(r"[\\/]", f["path"])[-1] for f in dry["files"]]
    check([re.split(r"[\\/]", line.split(":")[0])[-1] for line in lines] == names,
          "-v lines not in the report's walk order: %s" % err)
    code, _, err = run("-q", "-v", a)
    check(code == 2 and b"excludes" in err, "-q with -v: exit %d, %s" % (code, err))

    code, out, err = run("-j1", "--json", "-", a)
    check(code == 0, "-j1 exit code %d: %s" % (code, err))
    report = json.loads(out)
    code, _, err = run("-j8", "-q", "--sync-each-file", b)
    check(code == 0, "-j8 exit code %d: %s" % (code, err))
    check(snapshot(a) == snapshot(b), "-j1 and -j8 wrote different bytes")

    totals = report["totals"]
    files = report["files"]
    check(totals["files"] == len(files) == 31, "file count %d" % len(files))
    check(totals["compressed"] == 30 and totals["readOnlySkipped"] == 1, "counts %s" % totals)
    check(sum(f.get("bytesSaved", 0) for f in files) == totals["bytesSaved"], "savings don't add up")
    check(sum(f.get("bytesIn", 0) for f in files) == totals["bytesIn"], "bytes in don't add up")
    check(totals["bytesIn"] - totals["bytesOut"] == totals["bytesSaved"], "in - out != saved")
    check(dry["totals"]["bytesSaved"] == totals["bytesSaved"], "dry run predicted other savings")
    for f in files:
        if f["outcome"] != "compressed":
            continue
        # A Windows build (under Wine) joins names with backslashes.
        data = snapshot(a)[os.path.relpath(f["path"].replace("\\", "/"), a)]
        payload = zlib.decompress(data[16:])
        check(data[7] == 0x46 and data[12:16] == b"@@@@", "layout of " + f["path"])
        check(int.from_bytes(data[8:12], "little") == len(payload), "stored size of " + f["path"])
        check(len(data) == f["bytesOut"], "bytesOut of " + f["path"])

    code, out, err = run("--verify", "--json", "-", a)
    check(code == 0, "verify of sound files exit code %d: %s" % (code, err))
    damaged = os.path.join(a, "Dir0", "t0.ace")
    with open(damaged, "ab") as f:
        f.write(b"junk")
    code, out, err = run("--verify", "--json", "-", a)
    check(code == 1, "verify of a damaged file exit code %d" % code)
    bad = [f for f in json.loads(out)["files"] if f["outcome"] == "verifyFailed"]
    check(len(bad) == 1 and bad[0]["problem"] == "trailingData", "verify report %s" % bad)
    check(b"t0.ace" in err and b"not changed" in err, "verify message: %s" % err)

    # Restoring: compress, decompress, compress again gives the bytes of the first compression;
    # after -d every payload is the original one under bytes 0..6 and nine 0x40 bytes.
    compressed = snapshot(b)
    code, out, err = run("-d", "-n", "--json", "-", b)
    check(code == 0 and snapshot(b) == compressed, "decompress dry run: %d %s" % (code, err))
    dry = json.loads(out)
    code, out, err = run("-d", "-j3", "--json", "-", b)
    check(code == 0, "decompress exit code %d: %s" % (code, err))
    report = json.loads(out)
    totals = report["totals"]
    check(report["mode"] == "decompress", "mode %s" % report["mode"])
    check(totals["decompressed"] == 30 and totals["readOnlySkipped"] == 1, "counts %s" % totals)
    check(sum(f.get("bytesGrown", 0) for f in report["files"]) == totals["bytesGrown"],
          "growth doesn't add up")
    check(totals["bytesOut"] - totals["bytesIn"] == totals["bytesGrown"], "out - in != grown")
    check(dry["totals"]["bytesGrown"] == totals["bytesGrown"], "dry run predicted other growth")
    restored = snapshot(b)
    for name, data in restored.items():
        original = before[name]
        if name.endswith(".txt") or name == "locked.ace":
            check(data == original, "%s was changed" % name)
            continue
        check(data == original[:7] + b"@" * 9 + original[16:], "restored layout of " + name)
    code, _, err = run("-q", b)
    check(code == 0 and snapshot(b) == compressed, "compressing again gave other bytes: %s" % err)

    # Damaged, foreign and uncompressed files under -d: the damage fails (exit 1) with the
    # verifier's problem, the others are left alone; none of them is changed.
    odd = os.path.join(tmp, "odd")
    os.makedirs(odd)
    foreign = bytearray(compressed[os.path.join("Dir1", "Deep", "t1.ACE")])
    foreign[7] = 0x41
    samples = {"damaged.ace": snapshot(a)[os.path.join("Dir0", "t0.ace")],
               "foreign.ace": bytes(foreign), "plain.ace": texture(b"plain " * 50)}
    for name, data in samples.items():
        with open(os.path.join(odd, name), "wb") as f:
            f.write(data)
    code, out, err = run("-d", "--json", "-", odd)
    check(code == 1, "decompress of damaged files exit code %d" % code)
    outcomes = {re.split(r"[\\/]", f["path"])[-1]: f for f in json.loads(out)["files"]}
    check(outcomes["damaged.ace"]["outcome"] == "failed" and
          outcomes["damaged.ace"]["step"] == "decompress" and
          outcomes["damaged.ace"]["problem"] == "trailingData", "damaged: %s" % outcomes)
    check(outcomes["foreign.ace"]["outcome"] == "otherLayout", "foreign: %s" % outcomes)
    check(outcomes["plain.ace"]["outcome"] == "notCompressed", "plain: %s" % outcomes)
    check(b"Could not decompress" in err and b"damaged.ace" in err, "message: %s" % err)
    check(b"foreign.ace as it was" in err, "no line for the foreign layout: %s" % err)
    check(snapshot(odd) == samples, "decompress changed a file it could not restore")

    # Beyond the file size limit (ulimit -f) writes fail with "File too large": exit 1, every
    # file as it was, no temporary file, instead of death by SIGXFSZ. POSIX only: under an
    # emulator the limit would apply to the emulator itself.
    if len(CLI) == 1:
        limited = os.path.join(tmp, "limited")
        os.makedirs(limited)
        for i in range(4):
            with open(os.path.join(limited, "t%d.ace" % i), "wb") as f:
                f.write(texture(os.urandom(64 * 1024)))
        unlimited = snapshot(limited)
        proc = subprocess.run([*CLI, "-j2", limited], capture_output=True, timeout=120,
                              preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE,
                                                                    (16384, 16384)))
        check(proc.returncode == 1, "over the file size limit: exit %d" % proc.returncode)
        check(proc.stderr.count(b"File too large") == 4, "messages: %s" % proc.stderr)
        check(snapshot(limited) == unlimited, "files changed or left behind over the size limit")

    code, out, err = run("--json", "-", os.path.join(tmp, "missing.ace"), a)
    check(code == 1, "missing file exit code %d" % code)
    check(json.loads(out)["totals"]["failed"] == 1, "missing file not counted as failed")
    # The path is shown as typed, with the system's separator: on Windows every "/" a "\".
    shown = os.path.join(tmp, "missing.ace")
    if emulated:
        shown = shown.replace("/", "\\")
    check(("Could not open %s: " % shown).encode() in err, "missing file's line: %s" % err)
    check(json.loads(out)["files"][0]["path"] == shown, "missing file's path: %s" % out)

    # A name outside any single-byte code page, given on the command line, names the file
    # (on Windows the arguments come from the UTF-16 command line).
    unicode_dir = os.path.join(tmp, "\u0442\u0435\u043a\u0441\u0442\u0443\u0440\u044b")
    os.makedirs(unicode_dir)
    unicode_file = os.path.join(unicode_dir, "\u6f22\u5b57 \u00e9.ace")
    with open(unicode_file, "wb") as f:
        f.write(texture(b"unicode " * 200))
    code, out, err = run("--json", "-", unicode_file)
    check(code == 0, "a file with a Unicode name, exit code %d: %s" % (code, err))
    check(json.loads(out)["totals"]["compressed"] == 1, "Unicode name: %s" % out)
    with open(unicode_file, "rb") as f:
        check(f.read()[7] == 0x46, "the file with a Unicode name was not compressed")

    # On a console the names arrive whole, whatever its code page: the emulator makes a console
    # of a terminal, and passes on in UTF-8 what the program gives it (as UTF-16 through
    # WriteConsoleW); UTF-8 bytes written to it would be read in the console's code page and
    # arrive as mojibake ("cafÃ©"). On POSIX a terminal gets the bytes anyway.
    if emulated:
        with open(unicode_file, "wb") as f:
            f.write(texture(b"unicode " * 200))
        out = on_terminal("-v", "-n", unicode_dir).decode("utf-8", "replace")
        out = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", out).replace("\r\r\n", "")
        check(os.path.basename(unicode_file) + ": would be compressed, " in out,
              "names on a console: %r" % out)

    # Ctrl-C while the run has most of its work ahead, once or twice: the first lets the run end
    # with its report and exit 130, a second one ends it at once (killed by SIGINT on POSIX,
    # STATUS_CONTROL_C_EXIT on Windows, whose low byte an emulator passes on). Either way every
    # file is as it was or completely compressed, and no temporary file is left.

    def handlers_ready(proc, folder):
        if not emulated:
            # The kernel lists SIGINT as caught.
            with open("/proc/%d/status" % proc.pid) as f:
                masks = [line.split()[1] for line in f if line.startswith("SigCgt:")]
            return bool(masks) and int(masks[0], 16) & (1 << (signal.SIGINT - 1)) != 0
        # The emulator catches SIGINT from its start (and turns it into Ctrl-C); the program's
        # handler is in place once it has rewritten a file.
        return any(os.stat(os.path.join(folder, n)).st_size != len(originals[n])
                   for n in os.listdir(folder) if n in originals)

    def interrupt_run(name, times):
        big = os.path.join(tmp, name)
        os.makedirs(big)
        for n, data in originals.items():
            with open(os.path.join(big, n), "wb") as f:
                f.write(data)
        # Its error output goes to a file, not a pipe: a process the emulator starts on the
        # way (its desktop) inherits it and may outlive the run, and a pipe would then not end.
        err_file = tempfile.TemporaryFile(dir=tmp)
        proc = subprocess.Popen([*CLI, "-q", "-j1", big], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=err_file)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and proc.poll() is None and \
                not handlers_ready(proc, big):
            time.sleep(0.001)
        check(proc.poll() is None, "quorvel-cli ended before it could be interrupted")
        for i in range(times):
            if i:
                # Soon: after the first the run drops what it has staged and ends within tens
                # of milliseconds, and two signals at once could arrive as one.
                time.sleep(0.005)
            proc.send_signal(signal.SIGINT)
        proc.wait(timeout=120)
        err_file.seek(0)
        err = err_file.read()
        err_file.close()
        expected = 130 if times == 1 else (0xC000013A & 0xFF if emulated else -signal.SIGINT)
        check(proc.returncode == expected,
              "run interrupted %d times, exit code %d: %s" % (times, proc.returncode, err))
        if emulated:
            # A temporary file's own handle is open until its rename or removal, so one removed
            # on the way out goes when that handle is closed. Windows closes a process's handles
            # before the process counts as ended; the emulator's server does so a moment after
            # the host process has ended, so the names are given that moment to go.
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and \
                    any(".quorvel-tmp-" in n for n in os.listdir(big)):
                time.sleep(0.05)
        after = snapshot(big)
        check(sorted(after) == sorted(originals), "files after the interrupt: %s" % sorted(after))
        untouched = 0
        for n, data in after.items():
            if data == originals[n]:
                untouched += 1
                continue
            check(data[7] == 0x46 and data[12:16] == b"@@@@" and
                  int.from_bytes(data[8:12], "little") == len(originals[n]) - 16 and
                  zlib.decompress(data[16:]) == originals[n][16:], "%s half written" % n)
        check(untouched > 0, "the interrupt came after the last file")

    if emulated or os.path.exists("/proc/self/status"):
        originals = {"t%03d.ace" % i: texture(os.urandom(64 * 1024)) for i in range(300)}
        interrupt_run("once", 1)
        # On POSIX test_core checks the second signal (InterruptCleanup.*Second); a run there
        # stops too quickly after the first for a second one to be sure to find it running.
        if emulated:
            interrupt_run("twice", 2)
    else:
        print("no /proc/PID/status: the interrupt check is skipped")

print("ok")
