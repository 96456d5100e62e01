"""quorvel-cli.exe and what Windows makes of paths: the manifest that lets it take paths of any
length (and leaves the code pages alone), textures deeper than the old 260-character limit, in a
walk and named on the command line, and a file link named on the command line, whose target is
rewritten while the link stays a link. Usage: PROGRAM EMULATOR CLI, e.g. `wine quorvel-cli.exe`.
The links are made on the emulator's host system, which Windows calls see through."""
import os
import subprocess
import sys
import tempfile

CLI = sys.argv[1:]
EXE = CLI[-1]


def texture(payload, marker=0x40):
    return bytes([0x51, 0x54, 1, 2, 3, 4, 5, marker]) + bytes(8) + payload


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(*args):
    proc = subprocess.run([*CLI, "-q", *args], capture_output=True, timeout=120)
    return proc.returncode, proc.stderr.decode(errors="replace")


def marker(path):
    with open(path, "rb") as f:
        return f.read(8)[7]


with open(EXE, "rb") as f:
    image = f.read()
manifest = b'<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true'
if manifest not in image:
    fail("the program carries no long-path-aware manifest")
if b"activeCodePage" in image:
    fail("the manifest sets the active code page")
print("manifest: long-path aware, code pages left alone")

with tempfile.TemporaryDirectory() as tmp:
    for mode in ("walk", "named"):
        deep = os.path.join(tmp, mode, *("folder-of-twenty-%03d" % i for i in range(14)))
        os.makedirs(deep)
        path = os.path.join(deep, "brick.ace")
        if len(path) <= 300:
            fail("the test path is only %d characters long" % len(path))
        with open(path, "wb") as f:
            f.write(texture(b"deep texel " * 300))
        code, err = run(os.path.join(tmp, mode) if mode == "walk" else path)
        if code != 0:
            fail("%s, %d characters: exit %d: %s" % (mode, len(path), code, err[:400]))
        if marker(path) != 0x46:
            fail("%s: the deep texture was not compressed" % mode)
        if sorted(os.listdir(deep)) != ["brick.ace"]:
            fail("%s: left %s" % (mode, os.listdir(deep)))
        print("long path (%s): compressed at %d characters" % (mode, len(path)))

    real = os.path.join(tmp, "real")
    os.makedirs(real)
    target = os.path.join(real, "brick.ace")
    with open(target, "wb") as f:
        f.write(texture(b"linked texel " * 300))
    link = os.path.join(tmp, "link.ace")
    os.symlink(os.path.join("real", "brick.ace"), link)
    code, err = run(link)
    if code != 0:
        fail("named link: exit %d: %s" % (code, err[:400]))
    if not os.path.islink(link):
        fail("named link: the link was replaced by a plain file")
    if marker(target) != 0x46:
        fail("named link: its target was not compressed")
    if sorted(os.listdir(real)) != ["brick.ace"] or sorted(os.listdir(tmp)) != [
            "link.ace", "named", "real", "walk"]:
        fail("named link: files left behind")
    print("named link: target compressed, the link kept")
