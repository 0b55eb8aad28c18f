#!/usr/bin/env bash
# Verified loading throughput of the sample editor (with its nested service and framework),
# copied 400 times: on one thread, then on eight as the viewer's load queue runs them. Each run
# is a fresh process, so its first pass finds nothing cached.
#   bench/loading-throughput.sh [BUILD-DIR] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
count=${2:-400}
examples=$build/examples
for threads in 1 8; do
    "$build/bin/lumora-loading-throughput" --threads "$threads" --count "$count" \
        "$examples/TextEditor.app" "$examples/DemoCertificateAuthority.pem"
done
