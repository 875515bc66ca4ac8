#!/usr/bin/env bash
# The benchmark: one table of what vqdinst.exe costs.
#
#   bench/run.sh [ROUNDS]      (default 15; not part of ./test.sh)
#   bench/run.sh --against REV [ROUNDS]
#
# 1. Size of vqdinst.exe: the program's own code and data, the C/C++ runtime,
#    the import stubs, the rest of the file, and the carried files (from the
#    link map build/win32/vqdinst.map and the resource section).
# 2. Whole-process times under Wine of "/CHECK", "/MANIFEST", "/INSTALL" and
#    "/REMOVE", and of one registry-editor import of the payload's
#    DRIVEDB.REG, each against the floor (bench/floor.c) measured in the same
#    round. Its own prefix (build/bench/wineprefix, Windows 2000) and a
#    persistent wineserver. Targets: "/CHECK" and "/MANIFEST" within 1.1 times
#    the floor, "/INSTALL" within 1.1 times floor plus one registry-editor run.
#    With --against REV, the vqdinst.exe of the git revision REV (exported to
#    build/bench/against, built in build/bench/against-build) runs its own
#    "/INSTALL" and "/REMOVE" in the same rounds, first in every other round;
#    its medians and the ratio of today's "/INSTALL" to it follow the table.
# 3. In-process costs on the simulated Windows (Google Benchmark, host build
#    build/bench-host without sanitizers, -DVQD_BENCH=ON).
#
# Timings are printed, never asserted: the machine is shared.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
rounds=15
against=
while [ $# -gt 0 ]; do
    case $1 in
        --against) against=${2:?"--against needs a git revision"}; shift 2 ;;
        *) rounds=$1; shift ;;
    esac
done

tools/deps.sh libbenchmark-dev

# The builds' output goes to build/bench/build.log, shown when one fails.
mkdir -p build/bench
log=build/bench/build.log
quiet() { "$@" >>"$log" 2>&1 || { cat "$log" >&2; echo "bench: failed: $*" >&2; exit 1; }; }
: >"$log"
echo "== building (log: $log)" >&2
quiet cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=tools/mingw32.cmake -DCMAKE_BUILD_TYPE=Release
quiet cmake --build build/win32 -j2 --target vqdinst benchfloor
quiet cmake -S . -B build/bench-host -DVQD_SANITIZE=OFF -DVQD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
quiet cmake --build build/bench-host -j2 --target vqd_bench
against_args=()
if [ -n "$against" ]; then
    # A new export for another revision, and a new build for it: the export's
    # file times are its commit's, older than a build made from another one.
    rev=$(git rev-parse --verify "$against^{commit}")
    if [ "$(cat build/bench/against/.rev 2>/dev/null)" != "$rev" ]; then
        rm -rf build/bench/against build/bench/against-build
        mkdir -p build/bench/against
        git archive "$rev" | tar -x -C build/bench/against
        echo "$rev" >build/bench/against/.rev
    fi
    quiet cmake -S build/bench/against -B build/bench/against-build \
        -DCMAKE_TOOLCHAIN_FILE=tools/mingw32.cmake -DCMAKE_BUILD_TYPE=Release
    quiet cmake --build build/bench/against-build -j2 --target vqdinst
    name=$against
    [[ $rev == "$against"* ]] || name+=" (${rev:0:7})"
    against_args=(--against build/bench/against-build/vqdinst.exe --against-name "$name")
fi

echo "== machine"
echo "cores: $(nproc); $(wine --version); $(i686-w64-mingw32-g++ --version | head -n1); $(i686-w64-mingw32-ld --version | head -n1)"
echo
echo "== size of build/win32/vqdinst.exe"
python3 bench/mapsize.py build/win32/vqdinst.map build/win32/vqdinst.exe
echo

echo "== Wine" >&2
# shellcheck source=../tools/wine-env.sh
source tools/wine-env.sh
export WINEPREFIX=$PWD/build/bench/wineprefix
vqd_prefix_create "$WINEPREFIX"
vqd_server_start 120 || true  # fails when one is already up
vqd_set_os win2k
# No driver to start with (the prefix has the CD-ROM class key: wine-env.sh).
mkdir -p build/bench/work
(cd build/bench/work && wine ../../win32/vqdinst.exe /FORCEREMOVE </dev/null >/dev/null 2>&1) || true
python3 bench/winetime.py --exe build/win32/vqdinst.exe --floor build/win32/benchfloor.exe \
    --reg build/win32/payload/DRIVEDB.REG --work build/bench/work --pairs "$rounds" "${against_args[@]}"
echo

echo "== in-process on the simulated Windows 2000 (host build, no sanitizers)"
build/bench-host/vqd_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null
