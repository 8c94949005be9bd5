#!/bin/sh
# Points two data directories of a linked 32-bit program at records that
# GNU ld 2.40 links but does not name in the header, taking their addresses
# from the linker's map: the load configuration `_load_config_used` (its size
# is its own first field) and the table of delay-import descriptors (from
# `__delay_import_descriptors` to its end label). Then writes the PE checksum
# again. A directory that a linker filled in already is left as it is.
# Arguments: the program and the map of its link.
set -eu
program=$1
map=$2
fail() { echo "set-directories: $*" >&2; exit 1; }

# Little-endian numbers at a file offset.
number() {  # offset, bytes
    od -An -v -tu1 -j "$1" -N "$2" "$program" |
        awk '{ for (i = NF; i >= 1; i--) value = value * 256 + $i } END { print value + 0 }'
}
put32() {  # offset, value
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($2 & 255)) $(($2 >> 8 & 255)) \
              $(($2 >> 16 & 255)) $(($2 >> 24 & 255)))" |
        dd of="$program" bs=1 seek="$1" conv=notrunc 2>/dev/null
}

header=$(number 60 4)
optional=$((header + 24))
[ "$(number "$optional" 2)" -eq 267 ] || fail "$program is no PE32 program"
base=$(number $((optional + 28)) 4)

rva() {  # symbol name as the map shows it
    address=$(awk -v name="$1" '$2 == name { print $1 }' "$map")
    [ -n "$address" ] || fail "no $1 in $map"
    echo $((address - base))
}

# The file offset of an RVA, through the section that holds it.
offset() {
    sections=$((optional + $(number $((header + 20)) 2)))
    index=0
    while [ "$index" -lt "$(number $((header + 6)) 2)" ]; do
        entry=$((sections + 40 * index))
        start=$(number $((entry + 12)) 4)
        if [ "$1" -ge "$start" ] && [ "$1" -lt $((start + $(number $((entry + 16)) 4))) ]; then
            echo $(($(number $((entry + 20)) 4) + $1 - start))
            return
        fi
        index=$((index + 1))
    done
    fail "RVA $1 lies in no section of $program"
}

fill() {  # directory number, RVA, size
    directory=$((optional + 96 + 8 * $1))
    present=$(number "$directory" 4)
    if [ "$present" -eq 0 ]; then
        put32 "$directory" "$2"
        put32 $((directory + 4)) "$3"
    elif [ "$present" -ne "$2" ]; then
        fail "$program names another table in data directory $1"
    fi
}

config=$(rva _load_config_used)
at=$(offset "$config")
fill 10 "$config" "$(number "$at" 4)"
descriptors=$(rva _delay_import_descriptors)
end=$(rva _delay_import_descriptors_end)
fill 13 "$descriptors" $((end - descriptors))

# The checksum: the file's 16-bit words added with their carries folded
# back, the checksum field counted as zero, plus the file's length.
put32 $((optional + 64)) 0
sum=$(od -An -v -tu1 "$program" |
    awk '{ for (i = 1; i <= NF; i++) { sum += odd ? $i * 256 : $i; odd = !odd } }
         END { while (sum > 65535) sum = sum % 65536 + int(sum / 65536); print sum }')
put32 $((optional + 64)) $((sum + $(wc -c < "$program")))
