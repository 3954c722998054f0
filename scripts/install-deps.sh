#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tarvex need, if any is
# missing. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3 clang-format
  clang libclang-rt-14-dev        # libFuzzer and the sanitizer runtimes for clang
  libgtest-dev libgmock-dev libbenchmark-dev
  libtinyxml-dev libcli11-dev
  libgmime-3.0-dev pkg-config    # MIME decoding of the Maildir host
  libglib2.0-dev                 # the daemon's event loop
  qt6-base-dev qt6-qpa-plugins   # the desktop window; its tests draw off screen
  fonts-dejavu-core              # a sans font for the dialogs
  libetpan-dev libgnutls28-dev   # the IMAP store: protocol and certificate checks
  libsecret-1-dev                # an IMAP password kept by the desktop's secret service
  dovecot-imapd openssl          # the private IMAP server the tests start, and its certificate
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
