#!/usr/bin/env bash
# Lists the includes between the folders of the product code and fails on any
# that runs upward. The folders form layers, top first in `order`: a folder
# includes its own headers and those of folders further down, never one
# above it. Since every allowed include points down the list, a circle
# between folders always contains an upward include and is reported too. A
# nested folder (driver/ui) counts as part of its top folder. tests/, tools/,
# cmake/ and build folders are not product code and are not checked;
# third_party/ (code taken unchanged from others) lies under everything and
# its own includes are not checked either.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

order=(driver script files source restart shortcuts places registry descriptor xml resources base third_party)

rank() {
    local i
    for i in "${!order[@]}"; do
        if [ "${order[$i]}" = "$1" ]; then
            echo "$i"
            return
        fi
    done
    echo -1
}

folders=()
for dir in */; do
    dir=${dir%/}
    case $dir in tests | tools | cmake | third_party | build*) continue ;; esac
    folders+=("$dir")
done

# One line per include of a project header: "from to file:line".
includes=$(grep -rnE --include='*.h' --include='*.cpp' --include='*.c' --include='*.rc' \
               --include='*.rc2' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${folders[@]}" |
           awk -F: '{
               file = $1; line = $2; text = $0
               sub(/^[^"]*"/, "", text); sub(/".*$/, "", text)
               split(file, part, "/"); from = part[1]
               to = from
               if (index(text, "/") > 0) { split(text, target, "/"); to = target[1] }
               print from, to, file ":" line
           }')

failed=0
echo "Includes between folders (count, from -> to):"
while read -r count from to; do
    [ -n "$from" ] || continue
    [ "$from" = "$to" ] && continue
    verdict=""
    from_rank=$(rank "$from")
    to_rank=$(rank "$to")
    if [ "$from_rank" -lt 0 ] || [ "$to_rank" -lt 0 ]; then
        verdict="  <- folder missing from the layer order in tools/check-includes.sh"
    elif [ "$to_rank" -lt "$from_rank" ]; then
        verdict="  <- UPWARD"
    fi
    printf '  %3d  %s -> %s%s\n' "$count" "$from" "$to" "$verdict"
    if [ -n "$verdict" ]; then
        failed=1
        echo "$includes" | awk -v f="$from" -v t="$to" '$1 == f && $2 == t { print "         " $3 }'
    fi
done < <(echo "$includes" | awk '{ print $1, $2 }' | sort | uniq -c)

if [ "$failed" -ne 0 ]; then
    echo "Include check failed: an include runs upward (or names an unknown folder)."
    exit 1
fi
echo "Include check passed: every include between folders runs downward."
