#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; does nothing when all are there.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5opengl5-dev
  libqt5gui5
  libopencv-dev
  libgoogle-glog-dev
  libcpp-httplib-dev
  libqt5serialbus5-dev
  mbpoll
  libbenchmark-dev
  stress-ng
  fonts-wqy-microhei
  python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
