#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Vistrel
# need, and only those that are missing. Uses sudo when not root. --bench
# adds what the benchmarks use besides: xzoom, the peer bench/cpu_share.sh
# measures against, and perf for profiling both processes.
set -euo pipefail

packages=(
  build-essential cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libx11-xcb-dev libxcb1-dev libxcb-shm0-dev libxcb-damage0-dev libxcb-record0-dev libxext-dev
  xvfb xdotool x11-utils x11-xserver-utils xauth imagemagick openbox picom
  python3 python3-xlib
  fonts-thai-tlwg fonts-dejavu-core fonts-liberation2
  clang libclang-rt-14-dev
  appstream desktop-file-utils dpkg-dev file
  at-spi2-core dbus-daemon libglib2.0-bin python3-gi python3-pyatspi gir1.2-atspi-2.0 gir1.2-glib-2.0
  mutter xwayland pipewire pipewire-bin wireplumber libpipewire-0.3-dev libspa-0.2-dev
  xdg-desktop-portal xdg-desktop-portal-gnome qt6-wayland
)

if [ "${1:-}" = --bench ]; then
  packages+=(xzoom linux-perf xtrace)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
