#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Molvane.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libasound2-dev
  qt6-qpa-plugins
  libcurl4-openssl-dev ca-certificates
  fonts-ipafont-gothic
  python3 python3-aiosmtpd openssl
  xvfb xauth imagemagick libxcb1-dev
  clang libclang-rt-14-dev
  locales qt6-base-private-dev
  libxml2-utils chromium
  libxml2-dev
  libgmime-3.0-dev dovecot-imapd
  dpkg-dev file lintian desktop-file-utils appstream
  debootstrap
)
# A caller may name more (scripts/check-windows-build.sh: the cross compiler
# and Wine).
PACKAGES+=("$@")

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "All build and test packages are installed."
else
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Wait for another installation on this machine rather than fail on its lock.
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update
  $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "${missing[@]}"
fi

# Some tests run again under a German locale, whose decimal separator is a
# comma: numbers the program writes must not follow it.
if ! locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
  echo "Generating the locale de_DE.UTF-8"
  $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
