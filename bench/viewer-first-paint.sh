#!/usr/bin/env bash
# The viewer from process start to the first page painted, offscreen, on the sample applications
# with the sample editor selected. lumora-viewer --report-first-paint prints two moments: when the
# engine has painted the page ("painted", still under the cover the first page fades in from) and
# when the window shows it ("visible", the fade has begun), and when the loading view first showed
# progress. Each run is a fresh process. With COUNT, the viewer lists COUNT copies of the sample
# editor instead of the samples.
#   bench/viewer-first-paint.sh [BUILD-DIR] [RUNS] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
count=${3:-}
examples=$build/examples
. "$root/bench/viewer-environment.sh"
viewer_environment "$build"
screenshot=$(mktemp --suffix=.png)
listed=$examples
copies=
trap 'rm -f "$screenshot"; [ -z "$copies" ] || rm -rf "$copies"' EXIT
if [ -n "$count" ]; then
    # In memory where it can hold them, as for the memory benchmark.
    copies=$(mktemp -d -p "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
    for index in $(seq "$count"); do
        mkdir "$copies/$index"
        cp -a "$examples/TextEditor.app" "$copies/$index/"
    done
    listed=$copies
    echo "$count copies of TextEditor.app listed"
fi
painted=()
visible=()
progress=()
for run in $(seq "$runs"); do
    output=$("$build/bin/lumora-viewer" --screenshot "$screenshot" --select TextEditor --report-first-paint \
        --scope "$listed" --folder "$listed" \
        --extra-trust-anchors "$examples/DemoCertificateAuthority.pem" 2>&1)
    p=$(sed -n 's/^lumora-viewer: first page painted after \([0-9]*\) ms$/\1/p' <<<"$output")
    v=$(sed -n 's/^lumora-viewer: first page visible after \([0-9]*\) ms$/\1/p' <<<"$output")
    s=$(sed -n 's/^lumora-viewer: loading progress shown after \([0-9]*\) ms$/\1/p' <<<"$output")
    if [ -z "$p" ] || [ -z "$v" ]; then
        echo "run $run: the viewer reported no first paint:" >&2
        echo "$output" >&2
        exit 1
    fi
    echo "run $run: progress shown after ${s:-?} ms, painted after $p ms, visible after $v ms"
    painted+=("$p")
    visible+=("$v")
    [ -z "$s" ] || progress+=("$s")
done
summary() {
    sort -n | awk -v what="$1" '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%s: min %d ms, median %d ms\n", what, v[1], m }'
}
printf '%s\n' "${painted[@]}" | summary "process start to first page painted (goal: under 1000 ms)"
printf '%s\n' "${visible[@]}" | summary "process start to first page visible through the fade-in"
if [ "${#progress[@]}" -gt 0 ]; then
    printf '%s\n' "${progress[@]}" | summary "process start to the loading view's first progress (goal: under 300 ms)"
fi
