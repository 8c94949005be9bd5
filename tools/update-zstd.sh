#!/usr/bin/env bash
# Takes zstd's decoder from Debian 12's source package and copies it into
# third_party/zstd: the decoder's sources only (lib/common and
# lib/decompress without the threading, pool and amd64 assembly files), the
# two public headers and the BSD licence. A private sources list with
# deb-src entries is used, so the machine's own apt configuration stays as it
# is. Run it again to check the copy: `git diff third_party/zstd` shows any
# difference from the package.
set -euo pipefail
cd "$(dirname "$0")/.."
version=${ZSTD_DEBIAN_VERSION:-1.5.4+dfsg2-5}
target=third_party/zstd
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/sources.list" <<LIST
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
LIST
mkdir -p "$work/lists/partial"
apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$work/lists" -o Debug::NoLocking=1
             -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update -qq
# apt checks the files against the signed Release file of the archive.
(cd "$work" && apt-get "${apt_options[@]}" source --download-only -qq "libzstd=$version")
dpkg-source -x "$work"/libzstd_*.dsc "$work/src" >/dev/null

files=(
  LICENSE
  lib/zstd.h lib/zstd_errors.h
  lib/common/bits.h lib/common/bitstream.h lib/common/compiler.h lib/common/cpu.h
  lib/common/debug.c lib/common/debug.h lib/common/entropy_common.c
  lib/common/error_private.c lib/common/error_private.h lib/common/fse.h
  lib/common/fse_decompress.c lib/common/huf.h lib/common/mem.h
  lib/common/portability_macros.h lib/common/xxhash.c lib/common/xxhash.h
  lib/common/zstd_common.c lib/common/zstd_deps.h lib/common/zstd_internal.h
  lib/common/zstd_trace.h
  lib/decompress/huf_decompress.c lib/decompress/zstd_ddict.c lib/decompress/zstd_ddict.h
  lib/decompress/zstd_decompress.c lib/decompress/zstd_decompress_block.c
  lib/decompress/zstd_decompress_block.h lib/decompress/zstd_decompress_internal.h
)
rm -rf "$target/lib" "$target/LICENSE"
for file in "${files[@]}"; do
  mkdir -p "$target/$(dirname "$file")"
  cp "$work/src/$file" "$target/$file"
done
(cd "$target" && sha256sum "${files[@]}") > "$target/SHA256SUMS"
echo "libzstd $version: ${#files[@]} files in $target"
