#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running KestApp need, when any is missing.
# Run as root (or with sudo available). Installs nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libjpeg62-turbo-dev libpng-dev libfreetype-dev fonts-dejavu-core
  libgtest-dev libbenchmark-dev libpixman-1-dev
  # cjpeg and djpeg: the image tool's JPEG results are checked against them. giflib and stb_image: the
  # GIF, BMP and Targa readers are checked against them, in the tests only.
  libjpeg-turbo-progs libgif-dev libstb-dev
  # Xvfb and xdotool: the preview test and the show's end-to-end test run the real window on a virtual
  # X server, and xdotool clicks and types into it.
  xvfb xdotool
  # xscreensaver: the daemon end-to-end test runs the show as its display hack. imagemagick: the image
  # readers are checked against the files it writes and its own decoding of them.
  xscreensaver imagemagick
  # sox: the player's end-to-end test plays files that sox wrote and compares what was heard with sox's
  # own reading of them.
  sox
  # libFuzzer and the sanitizer runtimes are only a recommendation of clang, which this script skips.
  clang libclang-rt-14-dev clang-format
)

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
run_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
export DEBIAN_FRONTEND=noninteractive
run_as_root apt-get update -q
run_as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
