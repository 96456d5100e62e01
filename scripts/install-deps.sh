#!/usr/bin/env bash
# Installs the Debian packages a set of tasks needs, and only those that are missing.
#   scripts/install-deps.sh build        compilers, CMake, zlib, Qt 6 Widgets
#   scripts/install-deps.sh test         build + GoogleTest, fonts for offscreen windows
#   scripts/install-deps.sh screenshots  test + Xvfb and ImageMagick (scripts/screenshots.sh)
#   scripts/install-deps.sh bench        build + pigz and the tools the benchmark compares with
#   scripts/install-deps.sh package      test + what cpack needs for a Debian package, the
#                                        manual-page tools and the package checkers
#   scripts/install-deps.sh format       clang-format, for the layout check in .ci/run
# Run as root it calls apt-get; otherwise it prints the exact command to run and fails.
set -euo pipefail

build=(cmake ninja-build g++ make pkg-config zlib1g-dev qt6-base-dev libgl-dev
       libcli11-dev libdeflate-dev)
test=(libgtest-dev fonts-dejavu-core)
screenshots=(xvfb xauth imagemagick)
bench=(pigz time python3)
package=(dpkg-dev file help2man go-md2man lintian desktop-file-utils shared-mime-info)
format=(clang-format git)

wanted=()
for group in "${@:-test}"; do
    case "$group" in
        build) wanted+=("${build[@]}") ;;
        test) wanted+=("${build[@]}" "${test[@]}") ;;
        screenshots) wanted+=("${build[@]}" "${test[@]}" "${screenshots[@]}") ;;
        bench) wanted+=("${build[@]}" "${bench[@]}") ;;
        package) wanted+=("${build[@]}" "${test[@]}" "${package[@]}") ;;
        format) wanted+=("${format[@]}") ;;
        *) echo "install-deps: unknown group '$group' (build, test, screenshots, bench, package, format)" >&2
           exit 2 ;;
    esac
done

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]] && [[ ! " ${missing[*]} " == *" $pkg "* ]]; then
        missing+=("$pkg")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them as root with:" >&2
    echo "  $command" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
