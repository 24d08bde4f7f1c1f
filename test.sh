#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build with warnings as
# errors, then an AddressSanitizer + UndefinedBehaviorSanitizer build (clang,
# which also builds and runs the fuzz target).
set -euo pipefail
cd "$(dirname "$0")"
bash ./setup.sh
# Compiler cache hits across clones in other folders.
export CCACHE_BASEDIR="$PWD"

jobs=$(nproc)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVASKOR_WERROR=ON
cmake --build build/release -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DVASKOR_SANITIZE=ON -DVASKOR_FUZZ=ON -DVASKOR_WERROR=ON
cmake --build build/asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
bash fuzz/run.sh build/asan 60

echo "== Tests: normal build =="
(cd build/release && ctest --output-on-failure -j "$jobs")
echo "== Tests: AddressSanitizer + UndefinedBehaviorSanitizer build =="
(cd build/asan && ctest --output-on-failure -j "$jobs")
