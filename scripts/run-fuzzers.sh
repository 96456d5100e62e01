#!/usr/bin/env bash
# Runs the fuzz targets of build/fuzz (`make fuzz` builds them first), one after another, each
# for SECONDS, starting from the seed corpus that fuzz_seeds writes afresh for the run.
#   scripts/run-fuzzers.sh [SECONDS [TARGET...]]     default: 60 s, every fuzz_* target
# What a target finds that is new is kept in build/fuzz/corpus/TARGET, so a later run goes on
# from there. A crash, a sanitizer report or a broken invariant stops the run and fails the
# script; the input that caused it is left in build/fuzz/artifacts/TARGET/ and the end of the
# target's log (build/fuzz/logs/TARGET.log) is printed. Each run's last line of figures (runs,
# coverage, corpus) is printed as it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
programs=$build/tests/fuzz
seconds=${1:-60}
shift || true

if [[ $# -gt 0 ]]; then
    targets=("$@")
else
    targets=()
    for program in "$programs"/fuzz_*; do
        name=$(basename "$program")
        [[ $name == fuzz_seeds ]] || targets+=("$name")
    done
fi
[[ ${#targets[@]} -gt 0 ]] || { echo "run-fuzzers: no fuzz targets in $programs" >&2; exit 1; }

# A fresh seed folder for each run, so two runs of different targets can go on side by side.
seeds=$(mktemp -d "$build/seeds.XXXXXX")
trap 'rm -rf "$seeds"' EXIT
"$programs/fuzz_seeds" "$seeds"
mkdir -p "$build/logs"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus" "$artifacts"
    echo "== $target: $seconds s"
    # -timeout: an input taking 10 s is a hang; -rss_limit_mb: well above what a target needs.
    if ! nice "$programs/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$seeds/$target" \
        >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "run-fuzzers: $target failed; the input is in $artifacts/, the log in $log" >&2
        exit 1
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
done
