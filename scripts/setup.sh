#!/usr/bin/env bash
# Installs what building and testing Velkaron needs on Debian 12. Idempotent:
# when everything is already there it only checks and returns in a few seconds.
set -euo pipefail

# "setup.sh native" installs only what the Linux build needs; no argument installs everything.
packages=(cmake ninja-build g++ googletest locales python3 pkg-config libphysfs-dev)
if [ "${1:-all}" != native ]; then
  packages+=(
    clang libclang-rt-14-dev libbenchmark-dev lld llvm
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick gnuplot-nox
    fonts-wqy-microhei fonts-wine
    nsis dpkg-dev groff-base pkg-config lintian
    libzip-dev
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# 32-bit Wine (wine32:i386), which runs the 32-bit programs users download, comes
# from the i386 architecture, installed beside the machine's own.
if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture (32-bit Wine)"
  $SUDO dpkg --add-architecture i386
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: zh_CN.UTF-8 gives 936 (GBK).
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "setup: making the zh_CN.UTF-8 locale"
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
echo "setup: ready"
