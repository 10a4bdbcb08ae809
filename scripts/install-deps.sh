#!/usr/bin/env bash
# Installs every system package that building, running and testing numarika needs on a
# fresh Debian machine: Debian 12 (bookworm), Debian 13 (trixie) or Debian testing. Safe to run
# again: apt skips what is already there.
set -euo pipefail

# The release decides a few names; one it does not know is said, not guessed.
release=unknown
if [ -r /etc/os-release ]; then
  # shellcheck disable=SC1091
  . /etc/os-release
  case ${ID:-}:${VERSION_CODENAME:-} in
    debian:bookworm) release=12 ;;
    debian:trixie) release=13 ;;
    # testing (and unstable) carry no version number, only the next release's name
    debian:*) if [ -z "${VERSION_ID:-}" ]; then release=testing; fi ;;
  esac
fi
if [ "$release" = unknown ]; then
  echo "install-deps: this is ${PRETTY_NAME:-not a Debian system}; numarika knows the" \
    "packages of Debian 12, Debian 13 and Debian testing only. Install the equivalents of" \
    "the lists in $0 by hand." >&2
  exit 1
fi

packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-translations-l10n qt6-qpa-plugins
  libxcb1-dev libxcb-xfixes0-dev libxcb-shm0-dev libxcb-keysyms1-dev libxcb-util-dev
  libxcb-damage0-dev libxcb-randr0-dev
  libturbojpeg0-dev zlib1g-dev
  # the Wayland protocols beyond the core one are generated from their XML
  libwayland-bin
  # Wayland sessions: Qt's Wayland platform, the Wayland connection behind it, the portals (D-Bus)
  qt6-wayland qt6-base-private-dev libwayland-dev
  # `numarika --scan` asks the running copy through libdbus alone, without Qt
  libdbus-1-dev
  # outputs turned or scaled put into the screen's picture as grim puts them
  libpixman-1-dev
  # lint (scripts/test.sh)
  clang-format shellcheck
  # Japanese captions render as boxes without a CJK font
  fonts-noto-cjk
  # desktop and end-to-end tests (the test tool asks whether a compositor redirected windows)
  libxcb-composite0-dev
  xvfb xauth openbox i3-wm picom x11-utils x11-xserver-utils xdotool xclip imagemagick poppler-utils
  libjpeg-turbo-progs
  cups cups-filters xdg-utils
  # artwork (the launcher icons are rendered from SVG) and the package and its check
  librsvg2-bin dpkg-dev file desktop-file-utils appstream man-db groff-base
  # the private headless Wayland desktop of the Wayland end-to-end tests (tests/e2e/wayland_lib.sh)
  sway swaybg xwayland grim wl-clipboard wtype wev jq
  xdg-desktop-portal xdg-desktop-portal-wlr pipewire dbus-daemon dbus-bin procps
  python3-dbus python3-gi
  # the private headless GNOME desktop of the GNOME end-to-end tests (tests/e2e/gnome_lib.sh)
  gnome-shell xdg-desktop-portal-gnome xdg-desktop-portal-gtk
  # the private headless KDE Plasma desktop (tests/e2e/kde_lib.sh): KWin, its portal (whose
  # dialogs need Plasma's QML modules), gdbus for kglobalaccel, qmlscene for a known screen
  kwin-wayland xdg-desktop-portal-kde plasma-workspace qml-module-org-kde-kirigami2
  qml-module-qtquick-layouts qml-module-qtquick2 qml-module-qtquick-window2 qmlscene
  libglib2.0-bin
  # the lanes: roots of Debian 13 and testing (scripts/root.sh)
  debootstrap
)
case $release in
  12) ;;
  13 | testing)
    # KWin 6 crashes at start in a KDE session without Plasma's Qt integration
    packages+=(plasma-integration)
    ;;
esac

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
