#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on a copy of its
# seed corpus.   scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-30}

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ not found, fuzz targets skipped"
  exit 0
fi
bash "$root/scripts/setup.sh" --build-dir "$root/build-fuzz" --fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "$root"/build-fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  mkdir -p "$work/$name"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp -r "$root/fuzz/corpus/$name/." "$work/$name/"
  fi
  echo "Fuzzing $name for ${seconds}s"
  (cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$work/$name" 2>"$work/$name.log") || { tail -n 60 "$work/$name.log"; exit 1; }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/$name.log" || true
done
