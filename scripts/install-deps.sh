#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Idempotent: asks apt only for what is missing. Uses sudo when not root.
# Further packages may be named as arguments (the benchmarks add theirs).
set -euo pipefail

packages=(
  cmake ninja-build ccache g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev libsqlite3-dev libzip-dev libudev-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth dbus-x11 dosfstools mtools tzdata zip unzip
  fusefat ntfs-3g python3-dbusmock libglib2.0-bin
  trayer xdotool x11-utils libx11-6 fonts-dejavu-core
  desktop-file-utils appstream librsvg2-bin dpkg-dev fakeroot file man-db bash-completion
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
