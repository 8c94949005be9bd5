#!/usr/bin/env bash
# Fails when two files of the product call each other: a call from one file
# into another and one back. Reads the symbol tables of the product's static
# libraries in a Windows build folder (default build/win): a symbol that one
# object leaves undefined and another defines is a call (or a use of its
# data) from the first into the second. Names two objects of the same file
# name in different libraries apart by the library.
set -euo pipefail
build=${1:-$(dirname "$0")/../build/win}
nm=i686-w64-mingw32-nm
shopt -s nullglob
libraries=("$build"/libsetup_*.a)
if [ ${#libraries[@]} -eq 0 ]; then
    echo "No product libraries in $build: build it first." >&2
    exit 2
fi
# "library:object kind symbol" for every defined (T, D, B, R) and undefined
# symbol; nm -A writes a defined symbol's address right after the file name.
symbols=$("$nm" -A "${libraries[@]}" 2>/dev/null |
          awk '{ n = split($1, part, ":"); file = part[1]; sub(/^.*\//, "", file); file = file ":" part[2]
                 if ($2 == "U") print file, "U", $3; else if ($2 ~ /^[TDBR]$/) print file, "D", $3 }')
pairs=$(echo "$symbols" | awk '
    $2 == "D" { owner[$3] = $1; next }
    { uses[NR] = $1 " " $3 }
    END { for (i in uses) { split(uses[i], u, " "); if ((u[2] in owner) && owner[u[2]] != u[1])
                                print u[1], owner[u[2]] } }' | sort -u)
both=$(echo "$pairs" | awk 'NF { seen[$1 " " $2] = 1 }
    END { for (k in seen) { split(k, p, " "); if (p[1] < p[2] && ((p[2] " " p[1]) in seen)) print p[1] " <-> " p[2] } }')
count=$(echo "$pairs" | awk 'NF' | wc -l)
if [ -n "$both" ]; then
    echo "Files that call each other:"
    echo "$both" | sed 's/^/  /'
    exit 1
fi
echo "Call check passed: $count pairs of files where one calls the other, none called back."
