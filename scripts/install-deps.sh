#!/usr/bin/env bash
# Installs the Debian packages a set of tasks needs, and only those that are missing.
#   scripts/install-deps.sh build        compilers, CMake, zlib, Qt 6 Widgets
#   scripts/install-deps.sh test         build + GoogleTest, fonts for offscreen windows, and the
#                                        FUSE drivers and tools of the disk tests (bindfs,
#                                        fusefat, exfat-fuse, ntfs-3g, dosfstools, strace, ...)
#   scripts/install-deps.sh screenshots  test + Xvfb and ImageMagick (scripts/screenshots.sh)
#   scripts/install-deps.sh bench        build + pigz and the tools the benchmark compares with
#   scripts/install-deps.sh package      test + what cpack needs for a Debian package, the
#                                        manual-page tools and the package checkers
#   scripts/install-deps.sh format       clang-format, for the layout check in .ci/run
#   scripts/install-deps.sh fuzz         clang with its libFuzzer runtime, CMake, zlib and what
#                                        the batch command's library needs (no Qt): make fuzz
#   scripts/install-deps.sh windows      the mingw-w64 cross-compiler, zlib for it, GoogleTest's
#                                        and CLI11's sources, Wine with its fonts, Xvfb for the
#                                        window tests, NSIS for the installer, and the
#                                        source-package entries `apt-get source libdeflate` needs
# Run as root it calls apt-get; otherwise it prints the exact command to run and fails.
set -euo pipefail

build=(cmake ninja-build g++ make pkg-config zlib1g-dev qt6-base-dev libgl-dev
       libcli11-dev libdeflate-dev)
test=(libgtest-dev fonts-dejavu-core fuse3 bindfs fusefat exfat-fuse exfatprogs dosfstools
      ntfs-3g strace attr)
screenshots=(xvfb xauth imagemagick)
bench=(pigz time python3)
package=(dpkg-dev file help2man go-md2man lintian desktop-file-utils shared-mime-info)
format=(clang-format git)
fuzz=(cmake ninja-build make pkg-config zlib1g-dev libcli11-dev libdeflate-dev clang
      libclang-rt-14-dev)
windows=(cmake ninja-build make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest
         libcli11-dev wine64 wine fonts-wine xvfb xauth nsis dpkg-dev python3)

wanted=()
sources=no
for group in "${@:-test}"; do
    case "$group" in
        build) wanted+=("${build[@]}") ;;
        test) wanted+=("${build[@]}" "${test[@]}") ;;
        screenshots) wanted+=("${build[@]}" "${test[@]}" "${screenshots[@]}") ;;
        bench) wanted+=("${build[@]}" "${bench[@]}") ;;
        package) wanted+=("${build[@]}" "${test[@]}" "${package[@]}") ;;
        format) wanted+=("${format[@]}") ;;
        fuzz) wanted+=("${fuzz[@]}") ;;
        windows) wanted+=("${windows[@]}"); sources=yes ;;
        *) echo "install-deps: unknown group '$group'" \
                "(build, test, screenshots, bench, package, format, fuzz, windows)" >&2
           exit 2 ;;
    esac
done

# libdeflate for Windows is built from Debian's own source package, which apt fetches only
# with deb-src entries: add them beside the binary entries when there are none.
src_list=/etc/apt/sources.list.d/quorvel-deb-src.sources
need_src=no
if [[ $sources == yes ]] && ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    need_src=yes
fi

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]] && [[ ! " ${missing[*]} " == *" $pkg "* ]]; then
        missing+=("$pkg")
    fi
done
[[ ${#missing[@]} -eq 0 && $need_src == no ]] && exit 0

command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    [[ $need_src == yes ]] && echo "No deb-src entries: apt-get source libdeflate won't work." >&2
    [[ ${#missing[@]} -eq 0 ]] && exit 0
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them as root with:" >&2
    echo "  $command" >&2
    exit 1
fi
if [[ $need_src == yes ]]; then
    echo "Adding deb-src entries: $src_list"
    for list in /etc/apt/sources.list.d/*.sources; do
        [[ $list == "$src_list" ]] || sed 's/^Types:.*/Types: deb-src/' "$list"
        echo
    done > "$src_list"
    if [[ -f /etc/apt/sources.list ]]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/quorvel-deb-src.list
    fi
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
[[ ${#missing[@]} -eq 0 ]] && exit 0
echo "Installing: ${missing[*]}"
apt-get install -y -q --no-install-recommends "${missing[@]}"
