#!/usr/bin/env bash
# Builds the Debian package from the release preset and checks it: `make package`.
#   build/release/quorvel_<version>_<arch>.deb
# The release build gets Debian's hardening flags from dpkg-buildflags (fortified calls, stack
# protector, read-only relocations bound at start), the manual pages and the packaged changelog.
# The test suite runs on that build, then cpack packs it with the programs stripped. The package
# must pass lintian without an error or a warning (tags that stay have an override with its
# reason in packaging/lintian-overrides), and its desktop entry desktop-file-validate without
# any message.
# WERROR=ON turns compiler warnings into errors, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The release preset chooses optimisation and debug info; keep only the hardening.
export DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cmake --preset release -DQUORVEL_WERROR="${WERROR:-OFF}" -DQUORVEL_MANUALS=ON \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build --preset release
# What is shipped is what was tested: the suite on the optimised, hardened build.
ctest --preset release

build=build/release
rm -f "$build"/quorvel_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/quorvel_*.deb)
deb=${debs[0]}

echo "lintian $deb"
lintian --fail-on error,warning --info --display-info "$deb"

work=$(mktemp -d -t quorvel-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
entry=$work/usr/share/applications/quorvel.desktop
echo "desktop-file-validate quorvel.desktop"
messages=$(desktop-file-validate "$entry" 2>&1) || { echo "$messages" >&2; exit 1; }
if [[ -n "$messages" ]]; then
    echo "$messages" >&2
    exit 1
fi
# The file type must compile into a MIME database as it will on the user's machine.
echo "update-mime-database quorvel.xml"
update-mime-database "$work/usr/share/mime"
grep -qx 'image/x-ace-texture' "$work/usr/share/mime/types" ||
    { echo "make-deb: the .ace file type is missing from the compiled database" >&2; exit 1; }
echo "Package: $deb"
