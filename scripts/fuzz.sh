#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them on copies of their seed corpora, sharing
# one time budget equally (at least 5 seconds each).   scripts/fuzz.sh [TOTAL_SECONDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
total_seconds=${1:-600}

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ not found, fuzz targets skipped"
  exit 0
fi
bash "$root/scripts/setup.sh" --build-dir "$root/build-fuzz" --fuzz --target fuzzers

targets=("$root"/build-fuzz/bin/fuzz_*)
seconds=$(( total_seconds / ${#targets[@]} ))
[ "$seconds" -ge 5 ] || seconds=5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
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
