#!/usr/bin/env bash
# Installs what is missing, builds, then either starts the program (run) or
# runs every test and builds and checks the Debian package (test). Works as
# root or through sudo on Debian 12.
#   bash tools/setup.sh run
#   bash tools/setup.sh test
# MV_BUILD_DIR names the build folder (default build), MV_CMAKE_ARGS adds
# options to the configure step, MV_PACKAGE=no leaves the package out.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
case "$mode" in run|test) ;; *) echo "usage: bash tools/setup.sh run|test" >&2; exit 2 ;; esac

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libqt6webenginecore6-bin libgl-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils firebird3.0-server
  fonts-noto-cjk xvfb xauth
  dpkg-dev file desktop-file-utils
  libsqlite3-dev
)
sudo=
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${MV_BUILD_DIR:-build}
# A compiler cache, where the machine has one, makes a rebuild cheap.
launcher=
if command -v ccache >/dev/null 2>&1; then launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=ccache; fi
cmake -S . -B "$build" -G Ninja $launcher ${MV_CMAKE_ARGS:-}
cmake --build "$build"

if [ "$mode" = run ]; then
  if [ ! -e "$build/mvlabnew.fdb" ]; then
    "$build/mvlab-makedb" "$build/mvlabnew.fdb" --sample
  fi
  exec "$build/ProjectMvDocument"
fi

ctest --test-dir "$build" --output-on-failure

if [ "${MV_PACKAGE:-yes}" != no ]; then
  cmake --build "$build" --target package
  bash tools/checkpackage.sh "$build"
fi
