#!/usr/bin/env bash
# The Debian packages as a factory's IT meets them, on this machine as root (CI, after
# `./build.sh package`): lintian over both (an error fails), installed with apt, the programs
# run from /usr/bin, the man pages found, the user made, the units verified; then purged again,
# so the machine is as it was. systemd and udev need not run here: the maintainer scripts must
# succeed all the same, and systemd-analyze only reads the units.
#   scripts/check-packages.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")

./scripts/install-deps.sh package-check

shopt -s nullglob
cli=("$build"/stavel_*.deb)
desktop=("$build"/stavel-desktop_*.deb)
shopt -u nullglob
if ((${#cli[@]} != 1 || ${#desktop[@]} != 1)); then
    echo "check-packages: want one stavel_*.deb and one stavel-desktop_*.deb in $build" >&2
    exit 1
fi

step() { echo "== $*"; }

step lintian
# Errors fail; the warnings left are listed, with why they stay, in docs/packaging.md.
lintian --fail-on error --tag-display-limit 0 "${cli[0]}" "${desktop[0]}"

purge() {
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq stavel stavel-desktop >/dev/null 2>&1 || true
}
trap purge EXIT

step install
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${cli[0]}" "${desktop[0]}" >"$build/package-install.log" 2>&1 || {
    cat "$build/package-install.log"
    exit 1
}

step "the programs from /usr/bin"
version=$(/usr/bin/stavel --version)
echo "$version"
package_version=$(dpkg-query -W -f='${Version}' stavel)
[ "$version" = "stavel $package_version" ] || {
    echo "check-packages: stavel --version says '$version', the package is $package_version" >&2
    exit 1
}
for program in stbsim Stavel_OV Stavel_Station; do
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "/usr/bin/$program" --version)" = "$program $package_version" ]
done
work=$(mktemp -d)
(cd "$work" && /usr/bin/stavel --demo --fast >demo.log)
rm -rf "$work"
[ ! -e /usr/bin/Stavel_OV.ini ] || {
    echo "check-packages: a run as root left /usr/bin/Stavel_OV.ini" >&2
    exit 1
}

step "man pages"
for page in stavel stbsim stavel-job stavel-record stavel-services Stavel_OV Stavel_Station; do
    man -w "$page"
done

step "the user stavel"
id stavel
id -nG stavel | grep -qw dialout

step "systemd-analyze verify"
# A template is verified through an instance of it (so that %i is filled in). systemd-analyze
# only warns of an unknown key or a value it cannot parse, so anything it says fails.
units=$(mktemp -d)
cp /usr/lib/systemd/system/stavel-board.service "$units/"
cp /usr/lib/systemd/system/stavel-station@.service "$units/stavel-station@example.service"
said=$(systemd-analyze verify "$units/stavel-board.service" \
    "$units/stavel-station@example.service" 2>&1) || true
rm -rf "$units"
if [ -n "$said" ]; then
    echo "$said" >&2
    exit 1
fi

step "purge"
purge
trap - EXIT
! dpkg-query -W -f='${Status}' stavel 2>/dev/null | grep -q installed
