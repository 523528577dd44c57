#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
# Safe to run again: it asks apt only when something is missing.
#   scripts/install-deps.sh                  the build and the tests
#   scripts/install-deps.sh package          also what makes the Debian packages
#   scripts/install-deps.sh package-check    also what CI checks the packages with
set -euo pipefail

packages=(
    g++ make cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev libssl-dev
    libmosquitto-dev mosquitto openssl
    libwxgtk3.2-dev xvfb xauth xdotool x11-utils openbox
    clang libclang-rt-14-dev
    universal-ctags
    nlohmann-json3-dev ccache libre2-dev python3-jsonschema libtomlplusplus-dev
    libcpp-httplib-dev chromium chromium-driver python3-selenium
    libsqlite3-dev libpq-dev postgresql
    scdoc
    pdudaemon
)
case "${1:-}" in
package) packages+=(dpkg-dev file) ;;
package-check) packages+=(dpkg-dev file lintian systemd man-db) ;;
"") ;;
*)
    echo "usage: $0 [package | package-check]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        SUDO=sudo
    else
        SUDO=
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
