#!/usr/bin/env bash
# Unpacks Debian's libdeflate source package into FOLDER (once), for the Windows build to
# compile with the cross-compiler. Prints the unpacked source folder. Without deb-src entries
# (scripts/install-deps.sh windows adds them) it says so and fails; the Windows build then
# leaves the libdeflate engine out.
#   scripts/libdeflate-source.sh build/windows-deps
set -euo pipefail
folder=${1:?usage: libdeflate-source.sh FOLDER}
mkdir -p "$folder"
cd "$folder"
source_dir=$(find . -maxdepth 1 -type d -name 'libdeflate-*' | sort | tail -n 1)
if [[ -z $source_dir ]]; then
    apt-get source -q libdeflate >&2
    source_dir=$(find . -maxdepth 1 -type d -name 'libdeflate-*' | sort | tail -n 1)
fi
[[ -n $source_dir && -f $source_dir/libdeflate.h ]]
echo "$(pwd)/${source_dir#./}"
