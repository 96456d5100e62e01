"""quorvel-cli over trees an ordinary user may change while root compresses them.

Link swaps: an unprivileged child (nobody) swaps files and folders of the tree for links to
root-only files outside it, in a tight loop, while root runs the batch command; nothing outside
the tree may be read into a temporary file, rewritten, chmod'ed or chown'ed. Skipped (exit 77)
when not running as root.

Long paths: a texture 300 folders of 20 characters deep (a path of over 6,000 characters) is
compressed like any other.

Usage: PROGRAM CLI."""
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

CLI = sys.argv[1]
NOBODY = 65534
SKIP = 77


def texture(payload, marker=0x40):
    return bytes([0x51, 0x54, 1, 2, 3, 4, 5, marker]) + bytes(8) + payload


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def outside_state(folder):
    state = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        info = os.lstat(path)
        with open(path, "rb") as f:
            state[name] = (f.read(), info.st_ino, info.st_mode, info.st_uid, info.st_gid,
                           info.st_mtime_ns, info.st_ctime_ns)
    return state


def make_tree(root, folders, files):
    for d in range(folders):
        folder = os.path.join(root, "d%d" % d)
        os.makedirs(folder)
        for f in range(files):
            with open(os.path.join(folder, "t%d.ace" % f), "wb") as out:
                out.write(texture((b"texel %d %d " % (d, f)) * 400))
    for folder, dirs, names in os.walk(root):
        os.chown(folder, NOBODY, NOBODY)
        for name in names:
            os.chown(os.path.join(folder, name), NOBODY, NOBODY)


def swapper(root, outside, folders, files):
    """The other user's loop: swap a folder or a file for a link outside, then put it back."""
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)
    rng = random.Random(os.getpid())
    targets = [os.path.join(outside, "secret.ace"), os.path.join(outside, "secret.bin")]
    while True:
        d = os.path.join(root, "d%d" % rng.randrange(folders))
        try:
            if rng.random() < 0.5:
                os.rename(d, d + ".away")
                os.symlink(outside, d)
                time.sleep(rng.random() * 0.002)
                os.unlink(d)
                os.rename(d + ".away", d)
            else:
                f = os.path.join(d, "t%d.ace" % rng.randrange(files))
                os.rename(f, f + ".away")
                os.symlink(rng.choice(targets), f)
                time.sleep(rng.random() * 0.002)
                os.unlink(f)
                os.rename(f + ".away", f)
        except OSError:
            pass


def link_swaps(base):
    outside = os.path.join(base, "outside")
    os.mkdir(outside, 0o755)
    for name, mode in (("secret.ace", 0o600), ("secret.bin", 0o640), ("other.ace", 0o600)):
        path = os.path.join(outside, name)
        with open(path, "wb") as f:
            f.write(texture(b"root only " * 500))
        os.chmod(path, mode)
    before = outside_state(outside)
    folders, files = 6, 8
    for round_ in range(12):
        root = os.path.join(base, "tree%d" % round_)
        make_tree(root, folders, files)
        pid = os.fork()
        if pid == 0:
            try:
                swapper(root, outside, folders, files)
            finally:
                os._exit(0)
        try:
            for args in (["-q", "-j2"], ["-q", "-j1", "--sync-each-file"]):
                subprocess.run([CLI] + args + [root], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=120)
        finally:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        if outside_state(outside) != before:
            fail("round %d changed a file outside the tree: %s" % (round_, os.listdir(outside)))
    print("link swaps: outside untouched after 12 rounds")


def long_path(base):
    top = os.path.join(base, "long")
    os.mkdir(top)
    fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
    name = "f" * 20
    for _ in range(300):
        os.mkdir(name, dir_fd=fd)
        deeper = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = deeper
    data = texture(b"deep texel " * 300)
    out = os.open("deep.ace", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
    os.write(out, data)
    os.close(out)
    result = subprocess.run([CLI, "-q", top], capture_output=True, timeout=120)
    if result.returncode != 0:
        fail("long path: exit %d: %s" % (result.returncode, result.stderr[:300]))
    check = os.open("deep.ace", os.O_RDONLY, dir_fd=fd)
    head = os.read(check, 16)
    os.close(check)
    os.close(fd)
    if head[7] != 0x46:
        fail("long path: the deep texture was not compressed")
    print("long path: compressed at depth 300")


def main():
    base = tempfile.mkdtemp()
    os.chmod(base, 0o755)
    try:
        long_path(base)
        if os.geteuid() != 0:
            print("link swaps: skipped, not running as root")
            return SKIP
        link_swaps(base)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
