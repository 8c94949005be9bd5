#!/bin/sh
# Runs a command with two small drives mapped into the Wine prefix of the
# test ($1, the build folder's own; see test_prefix in common.sh): F:, a
# 256 KB tmpfs that an install fills, and R:, a read-only tmpfs that holds an
# installed "Dorsel\Dorsel.exe". Mounting needs root; without it the command
# runs without the drives and the tests that need them skip.
. "$(dirname "$0")/common.sh"
prefix=$(test_prefix "$1")
shift
"$(dirname "$0")/prepare-prefix.sh" "$prefix" || exit 1
base=$(mktemp -d /tmp/zyn-drives.XXXXXX)
mounted=""
cleanup() {
  rm -f "$prefix/dosdevices/f:" "$prefix/dosdevices/r:"
  for name in $mounted; do umount "$base/$name"; done
  rm -rf "$base"
}
trap cleanup EXIT

mount_drive() {  # folder name, drive letter
  mkdir -p "$base/$1"
  mount -t tmpfs -o size=256k "zyn$1" "$base/$1" 2>/dev/null || return 1
  mounted="$mounted $1"
  touch "$base/$1/zyn-test-drive"
  ln -sfn "$base/$1" "$prefix/dosdevices/$2:"
}

if [ "$(id -u)" -eq 0 ]; then
  mount_drive full f
  if mount_drive readonly r; then
    mkdir "$base/readonly/Dorsel"
    printf 'v1:Dorsel' > "$base/readonly/Dorsel/Dorsel.exe"
    mount -o remount,ro "$base/readonly"
  fi
fi
[ -n "$mounted" ] || echo "No test drives: mounting a tmpfs needs root here; the drive tests skip."
"$@"
status=$?
exit $status
