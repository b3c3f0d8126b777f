#!/usr/bin/env bash
# Compiles every source file under src/ for 64-bit Windows (MinGW-w64, syntax and warnings only)
# so the _WIN32 paths, which nothing on this machine runs, keep compiling.
# Usage: scripts/check-windows.sh [file.cpp ...]    (default: every .cpp under src/)
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null; then
  echo "check-windows: $cxx not found (package g++-mingw-w64-x86-64-posix)" >&2
  exit 1
fi

# The host's headers, and only those: pointing the cross compiler at /usr/include would pull
# in glibc's and Linux's headers in place of MinGW's.
include_dir="$(mktemp -d)"
trap 'rm -rf "$include_dir"' EXIT
link() {
  if [ ! -e "$1" ]; then
    echo "check-windows: $1 missing (scripts/deps.sh installs it)" >&2
    exit 1
  fi
  ln -s "$1" "$include_dir/$2"
}
link /usr/include/obs obs
link "/usr/include/$(gcc -dumpmachine)/curl" curl
link /usr/include/nlohmann nlohmann
link /usr/include/simde simde
link /usr/include/boost boost
# The dock's Qt, the one the host links (Debian's OBS 29: Qt 5); its module folders are include
# roots as in a Qt build.
qt_major=5
if command -v obs >/dev/null && grep -qa 'libQt6Core' "$(command -v obs)"; then qt_major=6; fi
qt_dir="/usr/include/$(gcc -dumpmachine)/qt$qt_major"
if [ ! -d "$qt_dir/QtWidgets" ]; then
  echo "check-windows: $qt_dir/QtWidgets missing (scripts/deps.sh installs qtbase5-dev)" >&2
  exit 1
fi
link "$qt_dir" qt
# OpenSSL's headers, with the two configuration headers kept beside the machine's own.
mkdir "$include_dir/openssl"
for h in /usr/include/openssl/*.h "/usr/include/$(gcc -dumpmachine)/openssl/"*.h; do
  ln -sf "$h" "$include_dir/openssl/"
done

flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -Wno-unused-parameter
       -DHAVE_OBSCONFIG_H -DSAYLINE_VERSION='"0.0.0"'
       -Isrc -isystem "$include_dir" -isystem "$include_dir/obs" -isystem "$include_dir/qt"
       -isystem "$include_dir/qt/QtCore" -isystem "$include_dir/qt/QtGui"
       -isystem "$include_dir/qt/QtWidgets")

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(find src -name '*.cpp' | sort)
fi

failed=0
for f in "${files[@]}"; do
  if ! "$cxx" "${flags[@]}" "$f"; then
    echo "check-windows: FAILED $f" >&2
    failed=$((failed + 1))
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "check-windows: $failed of ${#files[@]} files failed" >&2
  exit 1
fi
echo "check-windows: ${#files[@]} files compile for Windows"
