#!/usr/bin/env bash
# The viewer's list from start to the end of its initial loading: 1,000 copies of the sample
# editor (each with its nested service and framework) found, verified, loaded and sorted.
#   bench/catalogue-loading.sh [BUILD-DIR] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
count=${2:-1000}
examples=$build/examples
"$build/bin/lumora-catalogue-loading" --count "$count" "$examples/TextEditor.app" "$examples/DemoCertificateAuthority.pem"
