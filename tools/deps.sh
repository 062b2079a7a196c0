#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages a purpose needs, only those missing.
# Usage: deps.sh build|test
set -euo pipefail
build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6test6 libgl-dev
       qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core)
test=(xvfb xauth xdotool openbox x11-utils x11-xserver-utils poppler-utils imagemagick cups cups-bsd
      printer-driver-cups-pdf desktop-file-utils dpkg-dev file clang libclang-rt-14-dev
      libreoffice-writer-nogui abiword pandoc unrtf lintian appstream man-db groff-base
      at-spi2-core python3-pyatspi dbus-x11 debhelper devscripts blhc diffoscope-minimal)
wanted=("${build[@]}")
[ "${1:-build}" = test ] && wanted+=("${test[@]}")
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
