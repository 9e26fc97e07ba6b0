#!/usr/bin/env bash
# Installs every package the build, the tests and the program need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  fonts-liberation adwaita-icon-theme
  python3 python3-dbfread python3-dbf shapelib
  python3-openpyxl  # an independent writer and reader of the workbooks the tests use
  xvfb xauth xdotool imagemagick poppler-utils
  desktop-file-utils appstream groff-base  # the install test validates what cmake --install puts in place
  bsdutils  # script: a command-line test runs the program on a terminal
  clang libclang-rt-14-dev  # the fuzz targets: libFuzzer and clang's sanitizer runtimes
  qt6-charts-dev qt6-svg-dev  # the Overview: its charts, and a chart saved as SVG
  libminizip-dev libxlsxwriter-dev  # workbooks: .xlsx read through minizip (the zip library libxlsxwriter writes with), written in constant memory
  gdal-bin  # ogr2ogr: the measure bench/bench_exchange holds export and import to, and the maker of a test's dBASE source
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
