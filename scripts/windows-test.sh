#!/usr/bin/env bash
# Runs the Windows build's tests (build/windows, `make windows`) under Wine, in a prefix of its
# own, build/wine, made on first use.
#
# One Wine server serves the whole run: started here, detached (a session of its own, every
# descriptor on /dev/null), and ended on the way out. The prefix's background programs
# (services, the desktop, device drivers) are started under it before ctest runs, with nothing
# inherited: started by the first Wine program of the run instead, inside ctest's listing of a
# test program's cases, they would keep the pipe ctest reads that listing from open, and ctest
# would wait for its end until the listing's time limit.
#
# The window program's tests need an X display: the whole run goes on a virtual one (Xvfb,
# through xvfb-run), started before the Wine server so that the prefix's desktop uses it too.
#   scripts/windows-test.sh [CTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z ${QUORVEL_ON_XVFB:-} ]]; then
    export QUORVEL_ON_XVFB=1
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi

# The same environment as the `windows` test preset; make's variables are not for Wine. Wine
# names files on the Linux side in the locale's encoding: a UTF-8 one, so any name can be made.
export WINEPREFIX="$PWD/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset MAKEFLAGS MFLAGS MAKELEVEL

quiet() { "$@" </dev/null >/dev/null 2>&1; }

# A server left over from an interrupted run (of this prefix only) would serve with stale state.
quiet wineserver -k || true

source scripts/wine-prefix.sh
PrepareWinePrefix

trap 'quiet wineserver -k || true' EXIT
# wineserver returns once its socket is ready, so the next Wine program finds it.
quiet setsid wineserver -p
# The session's start-up (wineboot and the programs it starts) runs now, and only once.
quiet wine cmd.exe /c exit 0
# Wine's desktop process (explorer.exe /desktop) ends a few seconds after the last program using
# it, and the next program that needs it starts it again as a child inheriting that program's
# descriptors: a test's output pipe, which the test or ctest then waits on. A console program
# kept running through the whole run keeps the desktop up; the server's end takes it along.
quiet setsid wine ping.exe -n 1000000 127.0.0.1 &
for _ in {1..50}; do
    pgrep -f 'ping.exe -n 1000000' >/dev/null && break
    sleep 0.2
done

ctest --preset windows "$@"
