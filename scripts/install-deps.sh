#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. Idempotent and quick
# when everything is already there: apt is only consulted for missing packages.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64 xvfb x11-apps x11-utils imagemagick fonts-ipafont-gothic locales
  lhasa jlha-utils p7zip-full libarchive-tools
  python3 time
)

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run as root to install missing packages" >&2
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  name=${p%%:*}
  arch=${p#*:}; [ "$arch" = "$p" ] && arch=""
  if [ -n "$arch" ]; then q="$name:$arch"; else q="$name"; fi
  status=$(dpkg-query -W -f='${db:Status-Status}' "$q" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Code page 932 inside Wine needs the Japanese UTF-8 locale generated on the host.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
