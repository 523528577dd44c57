#!/usr/bin/env bash
# Fails on a name that platform/ defines and no product code uses. platform/ stands in for the
# operating system and toolkit, and holds only what the system's code needs: a name whose only
# callers are tests belongs in the tests, or nowhere.
#
# The names are platform/'s tags (universal-ctags). A name counts as used when it appears in a
# product source file (anything tracked outside tests/, bench/ and fuzz/; comments left out) on
# a line other than one of its own definitions or declarations. Names may be shared (an
# override, an overload, a member of the same name elsewhere), so the check only errs on the
# side of passing.
#   scripts/check-platform-names.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Kept although no product code names them, each for its reason:
#   ClearPortOverride, ClearPortOverrides  tests undo the process-wide port overrides they set
#   SetCodeSet                             tests choose a code set the machine's locales lack
#   sysErrno                               filled in by position ({status, call, errno}), which
#                                          this check cannot see
#   RealSysCalls                           the system-call seam's pass-through, for tests that
#                                          replace one call and keep the rest
#   Dropped                                tests read the output thread's count of dropped bytes
kept='ClearPortOverride ClearPortOverrides SetCodeSet sysErrno RealSysCalls Dropped'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name <TAB> file:line, for every definition or declaration in platform/.
ctags -x --languages=C++ --langmap=C++:+.h --kinds-C++=cdefgmpstuv --extras=-q -R platform |
    awk -v kept="$kept" '
        BEGIN { split(kept, k, " "); for (i in k) skip[k[i]] = 1 }
        $1 !~ /^(operator|~|__anon)/ && !($1 in skip) { print $1 "\t" $4 ":" $3 }' |
    sort -u >"$work/tags"

# name <TAB> file:line, for every identifier on a product line, comments removed.
git ls-files '*.cpp' '*.h' | grep -Ev '^(tests|bench|fuzz)/' |
    xargs awk '
        FNR == 1 { block = 0 }
        {
            line = $0
            if (block) { if (sub(/.*\*\//, "", line)) block = 0; else next }
            gsub(/\/\*.*\*\//, "", line)
            if (sub(/\/\*.*/, "", line)) block = 1
            sub(/\/\/.*/, "", line)
            while (match(line, /[A-Za-z_][A-Za-z0-9_]*/)) {
                print substr(line, RSTART, RLENGTH) "\t" FILENAME ":" FNR
                line = substr(line, RSTART + RLENGTH)
            }
        }' | sort -u >"$work/uses"

# A use is a (name, place) that is not one of the name's own tag places.
unused=$(awk -F '\t' '
    FNR == NR { defined[$1] = 1; own[$1 "\t" $2] = 1; next }
    ($1 in defined) && !(($1 "\t" $2) in own) { used[$1] = 1 }
    END { for (name in defined) if (!(name in used)) print name }
' "$work/tags" "$work/uses" | sort)

if [ -n "$unused" ]; then
    echo "check-platform-names: platform/ defines names that no product code uses:" >&2
    while read -r name; do
        grep -P "^\Q$name\E\t" "$work/tags" | cut -f2 | head -1 | sed "s/^/  $name  /" >&2
    done <<<"$unused"
    exit 1
fi
echo "check-platform-names: every platform name has a product caller"
