#!/usr/bin/env bash
# Installs the Debian packages the tool, the simulator and the tests need.
# Does nothing when everything is already there.
#
#   scripts/install-deps.sh          the Qt 5 build (the default)
#   scripts/install-deps.sh --qt6    in addition, what the Qt 6 build needs
#   scripts/install-deps.sh --checks in addition, clang with its sanitizer and
#                                    libFuzzer runtimes (scripts/sanitize.sh, fuzz.sh)
set -euo pipefail

# The Qt libraries, per major version; a new Qt component (Charts, ...) adds
# its package to both lists.
qt5_packages=(qtbase5-dev libqt5serialbus5-dev libqt5serialport5-dev qttools5-dev-tools libqt5charts5-dev
              libqt5sql5-sqlite libqt5sql5-psql)
qt6_packages=(qt6-base-dev qt6-serialbus-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
              libqt6sql6-sqlite libqt6sql6-psql)
check_packages=(clang-14 libclang-rt-14-dev)

packages=(
  cmake g++ make pkg-config
  # the build's own speed: Ninja, and ccache for every build after the first
  ninja-build ccache
  "${qt5_packages[@]}"
  libmodbus-dev socat mbpoll
  # Ed25519 signatures of the records chain
  libsodium-dev
  # Student-t quantiles of the uncertainty budgets (header-only)
  libboost-math-dev
  fonts-wqy-microhei xvfb xauth
  poppler-utils
  # the records database tests start their own throw-away PostgreSQL server
  postgresql
  # packaging and its checks: dpkg-shlibdeps, desktop-file-validate, appstreamcli, lintian
  dpkg-dev file desktop-file-utils appstream lintian
)
for arg in "$@"; do
  case "$arg" in
    --qt6) packages+=("${qt6_packages[@]}") ;;
    --checks) packages+=("${check_packages[@]}") ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done

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
