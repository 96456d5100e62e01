"""quorvel-cli, and the window program's folder mode, on disks that keep less than ext4 does,
mounted for real through FUSE.

- bindfs --chown-deny --chmod-deny (chown and chmod answer EPERM) and --xattr-none over the
  test's own folder: the runner's own textures are compressed exactly, restored and found
  compressed again, with no failure; a texture of another owner is refused at the owner step,
  unchanged; under --xattr-ro a texture with an extended attribute is refused at the attribute
  step and one without is compressed.
- FAT32 through fusefat (no owners, no permission bits, no extended attributes; names compared
  without regard to case): a folder compressed exactly; a file named in another case keeps the
  case the folder lists; on a full image, compressing and restoring fail with "No space left on
  device", leaving the original as it was and no temporary file.
- a SIGKILL in the middle of a batch's renames (strace injects it at the Nth rename), on the
  plain folder and on FAT: every texture is either as it was or exactly compressed, and a
  second run finishes the job.

Skipped (exit 77), saying why, where the machine has no /dev/fuse, the run is not root (the
mounts and the other owner need it), or the tools are missing (scripts/install-deps.sh test
installs them). Usage: PROGRAM CLI [WALK], WALK being quorvel-bench-walk (the folder mode).
"""
import contextlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

CLI = sys.argv[1]
WALK = sys.argv[2] if len(sys.argv) > 2 and os.path.exists(sys.argv[2]) else None
SKIP = 77
OTHER_OWNER = 4321
TOOLS = ["bindfs", "fusefat", "fusermount", "mkfs.vfat", "strace"]


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIP)


def check(condition, message):
    if not condition:
        print("FAILED: " + message)
        sys.exit(1)


def texture(payload, marker=0x40):
    return bytes([0x51, 0x54, 1, 2, 3, 4, 5, marker]) + bytes(8) + payload


def compressed(data):
    payload = data[16:]
    return data[:7] + b"\x46" + struct.pack("<I", len(payload)) + b"@@@@" + zlib.compress(payload)


def restored(data):
    """What restoring the compressed `data` gives: bytes 7..15 are 0x40, their content lost."""
    return data[:7] + b"\x40" * 9 + data[16:]


def make_textures(folder, count, tag=b""):
    os.makedirs(folder, exist_ok=True)
    made = {}
    for i in range(count):
        data = texture((b"texel %s %d " % (tag, i)) * (300 + 41 * i))
        path = os.path.join(folder, "t%02d.ace" % i)
        with open(path, "wb") as f:
            f.write(data)
        with contextlib.suppress(OSError):  # FAT keeps no permission bits
            os.chmod(path, 0o644)
        made[path] = data
    return made


def contents(path):
    with open(path, "rb") as f:
        return f.read()


def temporaries(folder):
    return [n for n in os.listdir(folder) if ".quorvel-tmp-" in n]


def cli(*args, timeout=120):
    proc = subprocess.run([CLI, *args], capture_output=True, timeout=timeout)
    return proc.returncode, proc.stdout.decode(errors="replace"), proc.stderr.decode(errors="replace")


def walk(folder):
    """The folder mode: returns (exit code, failures, messages)."""
    proc = subprocess.run([WALK, folder], capture_output=True, timeout=120)
    fields = proc.stdout.decode().split()
    return proc.returncode, int(fields[1]) if len(fields) == 3 else -1, proc.stderr.decode()


@contextlib.contextmanager
def mounted(command, mount_point):
    os.makedirs(mount_point, exist_ok=True)
    proc = subprocess.run(command + [mount_point], capture_output=True, timeout=60)
    check(proc.returncode == 0, "mount %s: %s" % (command, proc.stderr.decode()))
    try:
        yield mount_point
    finally:
        for _ in range(50):
            if subprocess.run(["fusermount", "-u", mount_point], capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        else:
            subprocess.run(["fusermount", "-uz", mount_point], capture_output=True)


def failures_of(report):
    return [f for f in report["files"] if f["outcome"] == "failed"]


def compress_exactly(folder, made, where):
    """quorvel-cli on `folder`: all of `made` compressed exactly, then a second run a no-op."""
    code, out, err = cli("--json", "-", folder)
    check(code == 0, "%s: exit %d: %s" % (where, code, err))
    report = json.loads(out)
    check(report["totals"]["failed"] == 0 and report["totals"]["compressed"] == len(made),
          "%s: totals %s" % (where, report["totals"]))
    for path, data in made.items():
        check(contents(path) == compressed(data), "%s: %s not compressed exactly" % (where, path))
    code, out, err = cli("--json", "-", folder)
    check(code == 0 and json.loads(out)["totals"]["alreadyCompressed"] == len(made),
          "%s: second run: %s %s" % (where, out, err))
    print("%s: %d textures compressed exactly, second run changed nothing" % (where, len(made)))


def walk_exactly(folder, made, where):
    if WALK is None:
        print("%s: folder mode not tried: quorvel-bench-walk not built" % where)
        return
    code, failures, messages = walk(folder)
    check(code == 0 and failures == 0, "%s, folder mode: %d failures: %s" % (where, failures, messages))
    for path, data in made.items():
        check(contents(path) == compressed(data), "%s, folder mode: %s not exact" % (where, path))
    print("%s, folder mode: %d textures compressed exactly, 0 failures" % (where, len(made)))


def refused(folder, path, data, step, words, where):
    """quorvel-cli and the folder mode refuse `path` at `step`, leaving it and no temporary."""
    code, out, err = cli("--json", "-", folder)
    check(code == 1, "%s: exit %d: %s" % (where, code, err))
    failed = failures_of(json.loads(out))
    check(len(failed) == 1 and failed[0]["step"] == step, "%s: failures %s" % (where, failed))
    check(words in failed[0]["message"] and words in err, "%s: message %r" % (where, err))
    check(failed[0]["message"].endswith("The original file is unchanged."), "%s: %r" % (where, err))
    check(contents(path) == data and not temporaries(folder), "%s: file changed" % where)
    if WALK is not None:
        code, failures, messages = walk(folder)
        check(code == 1 and failures == 1 and words in messages,
              "%s, folder mode: %d failures: %s" % (where, failures, messages))
        check(contents(path) == data and not temporaries(folder), "%s, folder mode: changed" % where)
    print("%s: refused at %s, unchanged: %s" % (where, step, err.splitlines()[0]))


def bindfs_runs(tmp):
    source = os.path.join(tmp, "ext")
    own = make_textures(os.path.join(source, "own"), 12)
    own_walk = make_textures(os.path.join(source, "walk"), 6, b"w")
    theirs = make_textures(os.path.join(source, "theirs"), 1, b"t")
    theirs_path, theirs_data = next(iter(theirs.items()))
    os.chown(theirs_path, OTHER_OWNER, OTHER_OWNER)

    with mounted(["bindfs", "--chown-deny", "--chmod-deny", source], os.path.join(tmp, "m1")) as m:
        where = "bindfs --chown-deny --chmod-deny"
        seen = {os.path.join(m, os.path.relpath(p, source)): d for p, d in own.items()}
        compress_exactly(os.path.join(m, "own"), seen, where)
        code, out, err = cli("-d", "--json", "-", os.path.join(m, "own"))
        check(code == 0 and json.loads(out)["totals"]["decompressed"] == len(seen),
              "%s: restore: %s" % (where, err))
        check(all(contents(p) == restored(d) for p, d in seen.items()),
              "%s: restore not exact" % where)
        compress_exactly(os.path.join(m, "own"), seen, where + " after restoring")
        walk_exactly(os.path.join(m, "walk"),
                     {os.path.join(m, os.path.relpath(p, source)): d for p, d in own_walk.items()},
                     where)
        refused(os.path.join(m, "theirs"), os.path.join(m, "theirs", "t00.ace"), theirs_data,
                "copyOwner", "Could not give the compressed copy of", where + ", another's file")
        check(os.stat(theirs_path).st_uid == OTHER_OWNER, "the other owner's file changed owner")

    plain = make_textures(os.path.join(source, "plain"), 4, b"p")
    with mounted(["bindfs", "--xattr-none", source], os.path.join(tmp, "m2")) as m:
        seen = {os.path.join(m, os.path.relpath(p, source)): d for p, d in plain.items()}
        compress_exactly(os.path.join(m, "plain"), seen, "bindfs --xattr-none")

    noted = make_textures(os.path.join(source, "noted"), 2, b"n")
    noted_path = os.path.join(source, "noted", "t00.ace")
    try:
        os.setxattr(noted_path, "user.note", b"kept")
    except OSError as error:
        print("bindfs --xattr-ro: not tried, no user attributes here: %s" % error)
        return
    with mounted(["bindfs", "--xattr-ro", source], os.path.join(tmp, "m3")) as m:
        where = "bindfs --xattr-ro"
        code, out, err = cli("--json", "-", os.path.join(m, "noted"))
        check(code == 1, "%s: exit %d: %s" % (where, code, err))
        failed = failures_of(json.loads(out))
        check(len(failed) == 1 and failed[0]["step"] == "copyAttributes"
              and failed[0]["path"].endswith("t00.ace"), "%s: failures %s" % (where, failed))
        check("its extended attributes" in err, "%s: message %r" % (where, err))
        check(contents(noted_path) == noted[noted_path], "%s: the file with a note changed" % where)
        other = os.path.join(source, "noted", "t01.ace")
        check(contents(other) == compressed(noted[other]), "%s: the file without one" % where)
        check(not temporaries(os.path.join(source, "noted")), "%s: temporary left" % where)
        print("%s: the file with an attribute refused at copyAttributes, the other compressed"
              % where)


def fill(folder):
    """Fills the file system holding `folder`; returns the filler's path."""
    filler = os.path.join(folder, "filler.bin")
    chunk = os.urandom(64 * 1024)
    with open(filler, "wb", buffering=0) as f:
        try:
            while True:
                f.write(chunk)
        except OSError:
            pass
        small = b"x" * 512
        try:
            while True:
                f.write(small)
        except OSError:
            pass
    return filler


def full_disk(folder, where, reason):
    """On a full disk compressing and restoring fail at the write step for `reason`, leaving
    the original and no temporary file."""
    os.makedirs(folder, exist_ok=True)
    data = texture(os.urandom(20000) + b"texel " * 20000)
    path = os.path.join(folder, "big.ace")
    with open(path, "wb") as f:
        f.write(data)
    for restoring in (False, True):
        before = contents(path)
        filler = fill(folder)
        code, out, err = cli(*(["-d"] if restoring else []), "--json", "-", folder)
        failed = failures_of(json.loads(out))
        doing = "restoring" if restoring else "compressing"
        check(code == 1 and len(failed) == 1 and failed[0]["step"] == "write"
              and reason in failed[0]["message"],
              "%s, full, %s: exit %d: %s" % (where, doing, code, err))
        check(contents(path) == before and not temporaries(folder),
              "%s, full, %s: file changed or temporary left" % (where, doing))
        print("%s, full, %s: %s" % (where, doing, err.splitlines()[0]))
        os.remove(filler)
        if not restoring:
            code, _, err = cli("-q", folder)
            check(code == 0 and contents(path) == compressed(data),
                  "%s: compressing with room: %s" % (where, err))


def fat_runs(tmp):
    image = os.path.join(tmp, "fat32.img")
    with open(image, "wb") as f:
        f.truncate(40 * 1024 * 1024)
    proc = subprocess.run(["mkfs.vfat", "-F", "32", "-S", "512", "-s", "1", image],
                          capture_output=True)
    check(proc.returncode == 0, "mkfs.vfat: %s" % proc.stderr.decode())
    with mounted(["fusefat", "-o", "rw+", image], os.path.join(tmp, "fat")) as m:
        where = "FAT32 (fusefat)"
        compress_exactly(os.path.join(m, "own"), make_textures(os.path.join(m, "own"), 12), where)
        walk_exactly(os.path.join(m, "walk"), make_textures(os.path.join(m, "walk"), 6, b"w"),
                     where)

        folder = os.path.join(m, "case")
        made = make_textures(folder, 1, b"c")
        os.rename(os.path.join(folder, "t00.ace"), os.path.join(folder, "Mixed.ace"))
        code, _, err = cli("-q", os.path.join(folder, "MIXED.ACE"))
        check(code == 0, "%s: named in another case: %s" % (where, err))
        check(os.listdir(folder) == ["Mixed.ace"], "%s: listed as %s" % (where, os.listdir(folder)))
        check(contents(os.path.join(folder, "Mixed.ace")) == compressed(next(iter(made.values()))),
              "%s: named in another case: not exact" % where)
        print("%s: MIXED.ACE compressed, still listed as Mixed.ace" % where)

        killed_in_renames(os.path.join(m, "killed"), where)
        # fusefat answers a full disk with EPERM (and has no statfs to tell it by).
        full_disk(os.path.join(m, "full"), where, "Operation not permitted")


def exfat_runs(tmp):
    """exFAT through exfat-fuse, which needs a block device: a loop device where one can be
    had. A real "No space left on device" on a full disk, names compared without case."""
    if shutil.which("mkfs.exfat") is None or shutil.which("mount.exfat-fuse") is None:
        print("exFAT: not tried, exfat-fuse or exfatprogs missing")
        return
    image = os.path.join(tmp, "exfat.img")
    with open(image, "wb") as f:
        f.truncate(16 * 1024 * 1024)
    check(subprocess.run(["mkfs.exfat", image], capture_output=True).returncode == 0, "mkfs.exfat")
    proc = subprocess.run(["losetup", "-f", "--show", image], capture_output=True)
    if proc.returncode != 0:
        print("exFAT: not tried, no loop device: %s" % proc.stderr.decode().strip())
        return
    device = proc.stdout.decode().strip()
    try:
        with mounted(["mount.exfat-fuse", device], os.path.join(tmp, "exfat")) as m:
            where = "exFAT (exfat-fuse)"
            compress_exactly(os.path.join(m, "own"), make_textures(os.path.join(m, "own"), 8),
                             where)
            full_disk(os.path.join(m, "full"), where, "No space left on device")
    finally:
        subprocess.run(["losetup", "-d", device], capture_output=True)


def killed_in_renames(folder, where):
    """A SIGKILL at the Nth rename of a batch: nothing lost, a second run finishes."""
    for nth in (1, 9, 23, 40):
        if os.path.exists(folder):
            shutil.rmtree(folder)
        made = make_textures(folder, 40, b"k")
        # One worker: strace counts the renames of each thread on its own.
        proc = subprocess.run(["strace", "-f", "-qq", "-o", "/dev/null",
                               "-e", "trace=rename,renameat,renameat2",
                               "-e", "inject=rename,renameat,renameat2:signal=SIGKILL:when=%d" % nth,
                               CLI, "-q", "-j1", folder], capture_output=True, timeout=120)
        check(proc.returncode in (-9, 137), "%s: not killed at rename %d: %d %s"
              % (where, nth, proc.returncode, proc.stderr.decode()))
        done = 0
        for path, data in made.items():
            now = contents(path)
            check(now in (data, compressed(data)), "%s: %s lost by a kill" % (where, path))
            done += now != data
        names = os.listdir(folder)
        check(all(n in [os.path.basename(p) for p in made] or ".quorvel-tmp-" in n for n in names),
              "%s: stray files %s" % (where, names))
        left = len(temporaries(folder))
        code, _, err = cli("-q", folder)
        check(code == 0 and all(contents(p) == compressed(d) for p, d in made.items()),
              "%s: run after the kill: %s" % (where, err))
        print("%s: killed at rename %d: %d of %d compressed, the rest as they were (%d temporary "
              "files left for a later run); the next run compressed the rest"
              % (where, nth, done, len(made), left))
    shutil.rmtree(folder)


def main():
    if not os.path.exists("/dev/fuse"):
        skip("no /dev/fuse: this machine offers no FUSE")
    if os.geteuid() != 0:
        skip("mounting FUSE file systems and giving a file another owner need root")
    missing = [t for t in TOOLS if shutil.which(t) is None]
    if missing:
        skip("not installed: %s (scripts/install-deps.sh test)" % ", ".join(missing))
    with tempfile.TemporaryDirectory() as tmp:
        probe = os.path.join(tmp, "probe")
        os.makedirs(probe)
        os.makedirs(os.path.join(tmp, "probe-source"))
        proc = subprocess.run(["bindfs", os.path.join(tmp, "probe-source"), probe],
                              capture_output=True)
        if proc.returncode != 0:
            skip("a FUSE mount is refused here: %s" % proc.stderr.decode().strip())
        subprocess.run(["fusermount", "-u", probe], capture_output=True)

        killed_in_renames(os.path.join(tmp, "killed"), "plain folder")
        bindfs_runs(tmp)
        fat_runs(tmp)
        exfat_runs(tmp)
    print("OK")


main()
