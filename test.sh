#!/usr/bin/env bash
# Builds both builds and runs every test: the unit tests of the host build
# and the end-to-end tests of vqdinst.exe under Wine.
#
#   ./test.sh [CTEST OPTIONS...]     e.g. ./test.sh -L e2e, ./test.sh -R help
#
# Exit code: ctest's.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

tools/deps.sh

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=tools/mingw32.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build/win32 -j2

cmake -S . -B build/host -DVQDINST_WIN32_DIR="$PWD/build/win32"
cmake --build build/host -j2

exec ctest --test-dir build/host --output-on-failure -j2 "$@"
