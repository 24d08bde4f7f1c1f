#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time each.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1; seconds=$2
shopt -s nullglob
for target in "$build"/fuzz/*_fuzz; do
  corpus=$(mktemp -d)
  echo "== Fuzzing $(basename "$target") for ${seconds}s =="
  "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
  rm -rf "$corpus"
done
