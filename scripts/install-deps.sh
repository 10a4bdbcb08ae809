#!/usr/bin/env bash
# Installs every system package that building, running and testing numarika needs on a
# fresh Debian 12 machine. Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-translations-l10n qt6-qpa-plugins
  libxcb1-dev libxcb-xfixes0-dev libxcb-shm0-dev libxcb-keysyms1-dev libxcb-util-dev
  libturbojpeg0-dev zlib1g-dev
  # lint (scripts/test.sh)
  clang-format shellcheck
  # Japanese captions render as boxes without a CJK font
  fonts-noto-cjk
  # desktop and end-to-end tests
  xvfb xauth openbox x11-utils x11-xserver-utils xdotool xclip imagemagick poppler-utils
  libjpeg-turbo-progs
  cups cups-filters xdg-utils
  # artwork (the launcher icons are rendered from SVG) and the package and its check
  librsvg2-bin dpkg-dev desktop-file-utils appstream man-db groff-base
)

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
