#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build/fuzz and runs each one
# for SECONDS (default 60), one after another, starting from its seed corpus
# in tests/fuzz/corpus/<target>/. The fuzzers work in a scratch copy of each
# corpus (build/fuzz/corpus/<target>/), so the tree's corpus only grows when
# someone copies inputs over; crashes land in build/fuzz/findings/<target>/.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]
#
# Exit code: 0 when no target found anything, 1 otherwise.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
shift || true
build=build/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in tests/fuzz/*_fuzz.cpp; do
        t=$(basename "$f" _fuzz.cpp)
        targets+=("$t")
    done
fi

tools/deps.sh clang libclang-rt-dev || exit 1
CC=clang CXX=clang++ cmake -S . -B "$build" -DVQD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j2 --target $(printf '%s_fuzz ' "${targets[@]}") >/dev/null || exit 1

failed=()
for t in "${targets[@]}"; do
    corpus=$build/corpus/$t findings=$build/findings/$t
    rm -rf "$corpus"
    mkdir -p "$corpus" "$findings"
    cp tests/fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null
    echo "fuzz.sh: $t for ${seconds}s" >&2
    if "$build/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" >"$build/$t.log" 2>&1; then
        echo "fuzz.sh: $t: nothing found ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$t.log" | grep -o '[0-9]*$') runs, corpus $(ls "$corpus" | wc -l))" >&2
    else
        echo "fuzz.sh: $t: FOUND $(ls "$findings" | head -3 | tr '\n' ' ')(log $build/$t.log)" >&2
        failed+=("$t")
    fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz.sh: findings in ${failed[*]}" >&2; exit 1; }
