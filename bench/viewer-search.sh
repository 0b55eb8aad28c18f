#!/usr/bin/env bash
# The viewer's window from a keystroke in the search field to the filtered list drawn, with 10,000
# copies of the sample editor listed: words and a phrase typed and deleted one key at a time.
#   bench/viewer-search.sh [BUILD-DIR] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
. "$root/bench/viewer-environment.sh"
viewer_environment "$build"
# The copies go to memory where it can hold them, as for the memory benchmark.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
"$build/bin/lumora-viewer-search" --count "${2:-10000}" "$build/examples/TextEditor.app" \
    "$build/examples/DemoCertificateAuthority.pem"
