#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
need=(cmake make g++ python3 git mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32
      libz-mingw-w64-dev zlib1g-dev googletest libgtest-dev
      wine64 xvfb xauth x11-utils xdotool imagemagick
      clang clang-format libclang-rt-14-dev osslsigncode openssl)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
