#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo use. Idempotent: when all
# packages are already present it does nothing and needs no network.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang clang-format
  libgtest-dev googletest
  openjdk-17-jdk-headless openjdk-17-jdk ecj
  g++-mingw-w64-x86-64 wine64
  libcurl4-openssl-dev libssl-dev openssl curl zlib1g-dev libz-mingw-w64-dev
  xvfb xdotool x11-apps imagemagick librsvg2-bin
  nginx-light libclang-rt-14-dev
  python3 procps file binutils-mingw-w64-x86-64
  osslsigncode wixl msitools acl strace
  iproute2 util-linux
  gpsprune
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
