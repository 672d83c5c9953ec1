#!/usr/bin/env bash
# Installs, with apt-get, every Debian package that building, running and testing Plim needs.
# Idempotent: when everything is present it only asks dpkg and returns within a second.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxcb1-dev libxcb-shm0-dev libxss-dev
  libavcodec-dev libavfilter-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libsdl2-dev
  libgtest-dev
  clang libclang-rt-dev
  ffmpeg mjpegtools
  xvfb xauth openbox xdotool wmctrl x11-utils imagemagick xclip
  fonts-ipafont-gothic qt6-translations-l10n
  lintian desktop-file-utils appstream valgrind
  python3 python3-pil python3-xlib python3-dbus python3-gi dbus-daemon x11-xserver-utils
  pulseaudio pulseaudio-utils
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "plim: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
