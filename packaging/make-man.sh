#!/usr/bin/env bash
# A man page from its scdoc source, compressed as Debian ships man pages.
#   make-man.sh SCDOC SOURCE.scd OUTPUT.gz
set -euo pipefail
"$1" <"$2" | gzip -9n >"$3.tmp"
mv "$3.tmp" "$3"
