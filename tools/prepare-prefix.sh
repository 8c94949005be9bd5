#!/bin/sh
# Creates and prepares a Wine prefix for the tests, once: no Mono or Gecko,
# no menu builder, and the user's shell folders as real folders instead of
# links into the Linux home folder.
set -eu
prefix=$1
marker="$prefix/.setup-prepared"
[ -f "$marker" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$marker" ] && exit 0
export WINEPREFIX="$prefix"
. "$(dirname "$0")/common.sh"
wineboot -i >/dev/null 2>&1
wineserver -w
for folder in "$prefix"/drive_c/users/*/*; do
  if [ -L "$folder" ]; then
    rm "$folder"
    mkdir "$folder"
  fi
done
touch "$marker"
