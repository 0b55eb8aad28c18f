#!/usr/bin/env bash
# Installs the Debian package as a user would, runs the installed viewer, removes the package and
# checks that nothing it installed is left. Needs root (CI runs it on a throwaway machine).
#   scripts/check-package.sh PACKAGE.deb EXAMPLES-DIR
set -euo pipefail
package=$(realpath "$1")
examples=$(realpath "$2")
export DEBIAN_FRONTEND=noninteractive
fail() { echo "check-package: $*" >&2; exit 1; }

apt-get install -y -qq "$package" >/dev/null
files=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$work" "$files"' EXIT
dpkg-query -L lumora-viewer >"$files"
for file in /usr/bin/lumora /usr/bin/lumora-viewer /usr/share/man/man1/lumora.1.gz \
            /usr/share/applications/org.lumoraviewer.LumoraViewer.desktop; do
    [ -e "$file" ] || fail "$file is not installed"
done
dpkg-deb -f "$package" Depends | grep -q 'libqt6webenginewidgets6' ||
    fail "Depends lacks the libraries: $(dpkg-deb -f "$package" Depends)"

mkdir -p "$work/config" "$work/cache" "$work/data" "$work/runtime" && chmod 700 "$work/runtime"
(cd "$work" &&
    env -u LUMORA_RESOURCES_DIR XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
        XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
        QTWEBENGINE_DISABLE_SANDBOX=1 LANGUAGE=en \
        /usr/bin/lumora-viewer --screenshot "$work/viewer.png" --select TextEditor --scope "$examples" \
        --folder "$examples" --extra-trust-anchors "$examples/DemoCertificateAuthority.pem") ||
    fail "the installed viewer did not write its screenshot"
[ -s "$work/viewer.png" ] || fail "the installed viewer wrote an empty screenshot"
/usr/bin/lumora --version

apt-get purge -y -qq lumora-viewer >/dev/null
left=0
while IFS= read -r file; do
    if [ -e "$file" ] && [ ! -d "$file" ]; then
        echo "check-package: left behind: $file" >&2
        left=1
    fi
done <"$files"
[ "$left" = 0 ] || fail "removing the package left files behind"
echo "check-package: installed, ran and removed $(basename "$package") cleanly"
