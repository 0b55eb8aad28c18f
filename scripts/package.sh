#!/usr/bin/env bash
# Builds the Debian package of LumoraViewer and prints its path on the last line:
#   scripts/package.sh [BUILD-DIR]      (default: build-package)
# A folder that is not configured yet gets a Release build without tests or benchmarks; one that
# is (CI passes its tested Release tree) is built as it is. Either way the package installs below /usr.
# The packages it needs are installed by scripts/setup.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$(realpath -m "${1:-$root/build-package}")
bash "$root/scripts/setup.sh" --packages-only
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build_dir" --parallel "$(nproc)" >/dev/null
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$build_dir"/lumora-viewer_*.deb
