#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the program and the tests need.
# Runs apt only when something is missing.
set -euo pipefail
pkgs=(cmake g++ make qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
      qt6-translations-l10n libsqlite3-dev libgl-dev xvfb xauth poppler-utils
      pkg-config libpq-dev libssl-dev openssl postgresql-15 postgresql-client-15 postgresql-common
      fonts-dejavu-core dpkg-dev file desktop-file-utils xdotool mdbtools-dev mdbtools
      # the components' preview: PDF pages (Poppler), TIFF and WebP pictures
      libpoppler-qt6-dev qt6-image-formats-plugins
      # the package: rsvg-convert draws its icons; lintian, appstreamcli and
      # man check it
      librsvg2-bin gzip lintian appstream man-db)
if [ "${VELBOR_WITH_CLANG:-0}" = 1 ]; then pkgs+=(clang-14 libclang-rt-14-dev); fi
# The Windows build (scripts/build-windows.sh): the cross compilers, Wine to
# run what they make, nsis and zip to package it, icoutils for its icon,
# sqlite3 for the installer's smoke test to read the archive.
# Wine comes with what it recommends (fonts, FreeType): without them the
# windows it shows draw no text.
with_recommends=()
if [ "${1:-}" = windows ]; then with_recommends=(mingw-w64 wine wine64 fonts-wine nsis icoutils zip sqlite3); fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
missing_full=()
for p in "${with_recommends[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing_full+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_full[@]} -gt 0 ]; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_full[@]} -gt 0 ]; then
  echo "Installing: ${missing_full[*]}"
  apt-get install -y -qq "${missing_full[@]}"
fi
