#!/usr/bin/env bash
# Installs the Debian packages that LumoraViewer needs, then configures and builds a tree.
# Safe to run again: packages already present are not fetched, and the build is incremental.
#
#   scripts/setup.sh [--build-dir DIR] [--sanitize] [--fuzz] [--target NAME] [--packages-only]
#
# With LUMORA_WARNINGS_AS_ERRORS=ON in the environment (as CI sets it), compiler warnings fail
# the build; a plain build only reports them.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$root/build"
cmake_args=(-DLUMORA_WARNINGS_AS_ERRORS="${LUMORA_WARNINGS_AS_ERRORS:-OFF}")
packages_only=false
targets=()

while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build_dir=$(realpath -m "$2"); shift 2 ;;
    # Unoptimised: the sanitizers' reports stay exact, assertions stay on, and it compiles fastest.
    # The benchmarks are left out: timings under the sanitizers mean nothing.
    --sanitize) cmake_args+=(-DLUMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DLUMORA_BUILD_BENCHMARKS=OFF); shift ;;
    # Light optimisation, as libFuzzer advises: the sanitizers' checks stay exact and it builds fast.
    --fuzz) cmake_args+=(-DLUMORA_BUILD_FUZZERS=ON -DLUMORA_SANITIZE=ON -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_DESKTOP=OFF
                         -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1
                         -DLUMORA_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_COMPILER=clang++); shift ;;
    --target) targets+=(--target "$2"); shift 2 ;;
    --packages-only) packages_only=true; shift ;;
    *) echo "setup.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config
  libssl-dev libicu-dev libexpat1-dev nlohmann-json3-dev liburiparser-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libplist-utils openssl chromium liblzma-dev zlib1g-dev libbz2-dev 7zip xorriso
  clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-image-formats-plugins qt6-webengine-dev
  desktop-file-utils appstream man-db curl ca-certificates
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "setup.sh: installing ${missing[*]} needs root or sudo" >&2; exit 1; }
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
$packages_only && exit 0

cmake -S "$root" -B "$build_dir" -G Ninja "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" "${targets[@]}"
