#!/usr/bin/env bash
# Installs OBS Studio (when missing) and what the build needs, builds the module and installs it.
# Usage: scripts/install.sh [--system]
#   default:  ~/.config/obs-studio/plugins/obs-sayline/{bin/64bit,data}
#   --system: the host's system plug-in folders (/usr/lib/<arch>/obs-plugins, /usr/share/obs/obs-plugins)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-install -DCMAKE_BUILD_TYPE=Release -DSAYLINE_BUILD_TESTS=OFF \
  -DSAYLINE_BUILD_BENCH=OFF >/dev/null
cmake --build build-install -j "$(nproc)" --target obs-sayline

if [ "${1:-}" = "--system" ]; then
  libdir="/usr/lib/$(gcc -dumpmachine)/obs-plugins"
  datadir="/usr/share/obs/obs-plugins/obs-sayline"
  install -D -m 0644 build-install/obs-sayline.so "$libdir/obs-sayline.so"
  mkdir -p "$datadir" && cp -r data/. "$datadir/"
  echo "installed: $libdir/obs-sayline.so"
else
  dest="${HOME}/.config/obs-studio/plugins/obs-sayline"
  install -D -m 0644 build-install/obs-sayline.so "$dest/bin/64bit/obs-sayline.so"
  mkdir -p "$dest/data" && cp -r data/. "$dest/data/"
  echo "installed: $dest/bin/64bit/obs-sayline.so"
fi
