#!/usr/bin/env bash
# Installs the Debian packages the tool, the simulator and the tests need.
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qtbase5-dev libqt5serialbus5-dev libqt5serialport5-dev qttools5-dev-tools
  libmodbus-dev socat mbpoll
  fonts-wqy-microhei xvfb xauth
  poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
