#!/bin/sh
# Creates and prepares a Wine prefix for the tests and the demo: no Mono or
# Gecko, no menu builder, the user's shell folders as real folders instead of
# links into the Linux home folder, and top-level windows that Wine's X11
# driver handles itself. Xvfb has no window manager: for a managed window the
# driver waits up to 2 s on every hide and destroy for one to answer.
# A prefix is prepared once; one prepared by an earlier version of these
# steps (its marker holds another number) is prepared again.
# Usage: prepare-prefix.sh <prefix> [<prepared prefix>]: given one, a new
# prefix is a copy of it, made in a second or two where wineboot takes ten;
# no wineserver may run for the prepared one meanwhile.
set -eu
prefix=$1
template=${2:-}
steps=2
marker="$prefix/.setup-prepared"
prepared() { [ "$(cat "$1/.setup-prepared" 2>/dev/null)" = "$steps" ]; }
prepared "$prefix" && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
prepared "$prefix" && exit 0
if [ -n "$template" ] && prepared "$template"; then
    rm -rf "$prefix" "$prefix.copy"
    cp -a --reflink=auto "$template" "$prefix.copy"
    # The copy's wineserver makes a folder of its own for its socket.
    rm -f "$prefix.copy/wineserver"
    mv "$prefix.copy" "$prefix"
    exit 0
fi
export WINEPREFIX="$prefix"
. "$(dirname "$0")/common.sh"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
for folder in "$prefix"/drive_c/users/*/*; do
  if [ -L "$folder" ]; then
    rm "$folder"
    mkdir "$folder"
  fi
done
echo "$steps" > "$marker"
