#!/usr/bin/env bash
# Photographs the window program on a virtual X server and saves the pictures for the README:
#   docs/main-window.png          the main window after compressing one generated sample texture
#   docs/folder-dialog.png        the folder-picker dialog the program opens when started without
#                                 a path
#   docs/win32-main-window.png    the same two windows of the Windows program, quorvel.exe, under
#   docs/win32-folder-dialog.png  Wine (in the prefix build/wine, with the frame Wine draws)
# Needs a built tree (make build) and the Windows build (make windows) plus xvfb-run, xauth and
# ImageMagick's import; `make screenshots` installs them. BUILD_DIR picks another build tree than
# build/default; without build/windows/win32/quorvel.exe the Windows pictures are left as they are.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build/default}" && pwd)
program=$build/qt/quorvel
make_sample=$build/scripts/quorvel-make-sample
for tool in "$program" "$make_sample"; do
    [[ -x "$tool" ]] || { echo "screenshots: $tool is missing; run make build first" >&2; exit 1; }
done

work=$(mktemp -d -t quorvel.XXXXXX)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
"$make_sample" "$work/sample" >/dev/null
mkdir -p "$root/docs"

# Runs inside the virtual X server: starts the program in the sample tree with the given
# arguments and photographs the screen until something other than the black background shows
# (at most 20 s), waits a moment for it to finish painting, then keeps the window's part of the
# screen: the program shows one window at a time, and without a window manager it has no frame.
cat >"$work/shoot.sh" <<'SHOOT'
#!/usr/bin/env bash
set -euo pipefail
output=$1 program=$2
shift 2
screen=$(dirname "$output")/screen.png
"$program" "$@" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    sleep 0.2
    kill -0 "$pid" 2>/dev/null || { echo "screenshots: the program ended early" >&2; exit 1; }
    import -window root "$screen"
    if [[ $(convert "$screen" -trim -format '%wx%h' info: 2>/dev/null) != 1x1 ]]; then
        sleep 1
        import -window root "$screen"
        convert "$screen" -trim +repage "$output"
        exit 0
    fi
done
echo "screenshots: no window appeared" >&2
exit 1
SHOOT
chmod +x "$work/shoot.sh"

# -br: a black background, so that everything else on the screen is the window.
shoot() {
    local name=$1
    shift
    (cd "$work/sample" &&
        xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -br" \
            "$work/shoot.sh" "$work/$name" "$program" "$@")
    cp "$work/$name" "$root/docs/$name"
}

shoot main-window.png ground/grass.ACE
shoot folder-dialog.png
echo "screenshots: wrote docs/main-window.png and docs/folder-dialog.png"

# The Windows program under Wine. The sample goes on drive C: (C:\Games\Textures), as a
# Windows user would have it. Each picture gets a display of its own and so a Wine server of its
# own, ended afterwards; the prefix's desktop must be started on the picture's display.
exe=$root/build/windows/win32/quorvel.exe
if [[ ! -f $exe ]]; then
    echo "screenshots: $exe is missing (make windows); the Windows pictures are unchanged" >&2
    exit 0
fi
export WINEPREFIX=$root/build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wineserver -k </dev/null >/dev/null 2>&1 || true
# shellcheck source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh"
PrepareWinePrefix
textures=$WINEPREFIX/drive_c/Games/Textures
rm -rf "$WINEPREFIX/drive_c/Games"
mkdir -p "$(dirname "$textures")"
"$make_sample" "$textures" >/dev/null

printf '#!/bin/sh\nexec wine "$@"\n' >"$work/wine.sh"
chmod +x "$work/wine.sh"

shootWine() {
    local name=$1
    shift
    # Unlike the Linux program, Wine takes several seconds to start on a new display.
    (cd "$textures" &&
        xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -br" \
            "$work/shoot.sh" "$work/$name" "$work/wine.sh" "$exe" "$@")
    wineserver -k </dev/null >/dev/null 2>&1 || true
    cp "$work/$name" "$root/docs/$name"
}

shootWine win32-main-window.png 'ground\grass.ACE'
shootWine win32-folder-dialog.png
rm -rf "$WINEPREFIX/drive_c/Games"
echo "screenshots: wrote docs/win32-main-window.png and docs/win32-folder-dialog.png"
