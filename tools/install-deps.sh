#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12. Idempotent:
# quick when every package is already there.
set -euo pipefail

packages=(
  wine wine32:i386 wine64                  # runs the Windows tests and setup.exe
  g++-mingw-w64-i686-posix                 # the cross compiler, windres included
  xvfb xauth                               # a display for tests that show windows
  fonts-wqy-microhei                       # Chinese, Japanese and Korean glyphs for the dialog tests
  cmake ninja-build make googletest        # build and test bench
  clang libclang-rt-14-dev                 # zstd's decoder in setup.exe; native sanitizers, libFuzzer
  libbenchmark-dev libpugixml-dev          # benchmark and the parser it compares with
  g++-multilib                             # the benchmark's 32-bit build of the engine
  util-linux ca-certificates
  osslsigncode openssl                     # the release's signature; the signing test's certificate
  libzstd-dev                              # the bundle builder's compressor (zstd 1.5.4)
  nsis                                     # the bundle's size and speed measured against NSIS
  locales                                  # the German and Japanese test locales
)

# The language tests run under these locales; without them Wine reports the
# language but cannot name a file with a letter such as "ö".
test_locales=(de_DE ja_JP)

generate_locales() {
  for name in "${test_locales[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "$name.utf8"; then
      echo "Generating the locale $name.UTF-8"
      $sudo localedef -i "$name" -f UTF-8 "$name.UTF-8"
    fi
  done
}

missing=()
for package in "${packages[@]}"; do
  [[ $package == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
generate_locales
