#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Tavrik, and nothing else.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config ccache
  qt6-base-dev zlib1g-dev libdeflate-dev libpng-dev libjpeg62-turbo-dev libturbojpeg0-dev libpixman-1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev libfreetype-dev
  libmypaint-dev mypaint-brushes
  fonts-wqy-microhei qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
  # Another install holding the package lock is waited for, not a reason to give up.
  wait_lock=(-o DPkg::Lock::Timeout=600)
  $sudo apt-get "${wait_lock[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi
