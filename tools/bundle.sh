#!/usr/bin/env bash
# Writes one executable from a setup folder: the folder's setup.exe as the
# stub, followed by the data that carries setup.exe and the setup files (see
# source/bundle_format.h). Builds its builder first when needed, with
# Debian's libzstd 1.5.4 (tools/install-deps.sh).
# Usage: tools/bundle.sh <setup folder> <output file>
#        tools/bundle.sh --check <bundle file> [<setup folder>]
# (--check reads a bundle back and decodes it; with a folder, its files must
# be that folder's.)
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: tools/bundle.sh <setup folder> <output file>" >&2
    exit 2
fi
source=$(cd "$(dirname "$0")/.." && pwd)
tool_dir=${BUNDLE_TOOL_DIR:-$source/build/bundle-tool}
builder=$tool_dir/bundle_builder
sources=("$source/tools/bundle_builder.cpp" "$source/source/bundle_index.cpp"
         "$source/source/bundle_format.h" "$source/base/text.h"
         "$source/third_party/zstd/lib/common/xxhash.c"
         "$source/third_party/zstd/lib/common/xxhash.h")

stale() {
    [ -x "$builder" ] || return 0
    local file
    for file in "${sources[@]}"; do
        [ "$file" -nt "$builder" ] && return 0
    done
    return 1
}

if stale; then
    [ -f /usr/include/zstd.h ] || bash "$source/tools/install-deps.sh"
    mkdir -p "$tool_dir"
    cc -O2 -c "$source/third_party/zstd/lib/common/xxhash.c" -o "$tool_dir/xxhash.o"
    c++ -std=c++11 -O2 -Wall -Wextra -Werror -I"$source" -o "$builder.partial" \
        "$source/tools/bundle_builder.cpp" "$source/source/bundle_index.cpp" "$tool_dir/xxhash.o" \
        -lzstd
    mv "$builder.partial" "$builder"
fi
exec "$builder" "$@"
