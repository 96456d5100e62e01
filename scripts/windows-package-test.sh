#!/usr/bin/env bash
# Tests the Windows installer `make windows-package` made (build/windows) under Wine, in a prefix
# made fresh for every run (build/wine-installer): the test program of tests/installer installs
# it silently, checks the files, the Start-menu entry and the registry entries, starts both
# installed programs, uninstalls it and checks that nothing is left. For the over-install test an
# installer of an older version is made here too (build/windows/older-installer), carrying one
# file more, as an older version may have had a file a later one dropped.
#
# As in scripts/windows-test.sh: one detached Wine server for the run, and a virtual X display
# (Xvfb) for the window program, started before anything of Wine.
#   scripts/windows-package-test.sh [GTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z ${QUORVEL_ON_XVFB:-} ]]; then
    export QUORVEL_ON_XVFB=1
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi
started=$SECONDS

build=$PWD/build/windows
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
installer=$build/quorvel-$version-windows-x64.exe
test_program=$build/tests/installer/test_windows_installer.exe
for file in "$installer" "$test_program"; do
    [[ -f $file ]] || { echo "windows-package-test: $file is missing: run make windows-package" >&2
                        exit 1; }
done

older_version=0.0.1
older=$build/older-installer
rm -rf "$older"
mkdir -p "$older"
cat > "$older/older-file.cmake" <<'EOF'
file(WRITE "${CMAKE_INSTALL_PREFIX}/CHANGES.txt" "A file only the older version had.\n")
EOF
(cd "$build" && cpack -G NSIS -R "$older_version" -B "$older" \
    -D CPACK_PACKAGE_FILE_NAME="quorvel-$older_version-windows-x64" \
    -D CPACK_INSTALL_SCRIPTS="$older/older-file.cmake" >/dev/null)

export WINEPREFIX="$PWD/build/wine-installer" WINEDEBUG=-all
# No Mono or Gecko; and no menu builder, which would copy the installed shortcut and file class
# into this machine's own desktop menus and file types.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8
unset MAKEFLAGS MFLAGS MAKELEVEL

quiet() { "$@" </dev/null >/dev/null 2>&1; }

quiet wineserver -k || true
rm -rf "$WINEPREFIX"
source scripts/wine-prefix.sh
PrepareWinePrefix

trap 'quiet wineserver -k || true' EXIT
quiet setsid wineserver -p
quiet wine cmd.exe /c exit 0
prepared=$SECONDS

QUORVEL_INSTALLER=$(winepath -w "$installer")
QUORVEL_OLDER_INSTALLER=$(winepath -w "$older/quorvel-$older_version-windows-x64.exe")
export QUORVEL_INSTALLER QUORVEL_OLDER_INSTALLER QUORVEL_OLDER_VERSION=$older_version
wine "$test_program" "$@"
echo "windows-package-test: $((SECONDS - started)) s, of which $((prepared - started)) s" \
     "for the older installer and the fresh Wine prefix"
