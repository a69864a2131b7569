#!/usr/bin/env bash
# Installs the Debian 12 packages Quayside needs to build, run and test, when any is
# missing. Runs apt-get through sudo unless already root.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools
  libqt6svg6 adwaita-icon-theme hicolor-icon-theme
  libplist-dev libplist-utils zlib1g-dev
  libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-keysyms1-dev libxcb-randr0-dev
  libxcb-composite0-dev libxcb-shape0-dev libxcb-xtest0-dev libxcb-res0-dev libxcb-image0-dev libxcb-util-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth openbox xcompmgr x11-apps xterm x11-utils x11-xserver-utils xdotool imagemagick dbus libglib2.0-bin
  trayer wmctrl desktop-file-utils fonts-dejavu-core
  qt6-image-formats-plugins
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
