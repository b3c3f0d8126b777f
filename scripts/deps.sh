#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Usage: scripts/deps.sh            (as root)
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libobs-dev libcurl4-openssl-dev nlohmann-json3-dev
  # WebSocket streaming: Boost.Beast (header-only) with OpenSSL
  libboost-dev libssl-dev
  # the dock's widgets, in the Qt that Debian's OBS is built with
  qtbase5-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev openssl
  # the scene text measures its rows with the font the host's FreeType text source loads
  libfreetype-dev libfontconfig-dev
  # headless host: a display, Mesa's software OpenGL and the host's own FreeType text source
  xvfb xauth libx11-dev libgl1-mesa-dri obs-studio fonts-dejavu-core
  # real consumers of the subtitle files we export
  ffmpeg
  # speech, noise and music made at test time for the speech detector and the pause chunker
  espeak-ng sox
  # the only fonts the tests see (tests/fonts/fonts.conf.in): "Arial" as the Latin-only
  # Nimbus Sans, a Korean and a Japanese face
  fonts-urw-base35 fonts-nanum fonts-vlgothic
  # reads the drawn subtitle back in the scene text tests
  tesseract-ocr tesseract-ocr-eng tesseract-ocr-kor tesseract-ocr-jpn
  # the Windows compile check of src/ (scripts/check-windows.sh)
  g++-mingw-w64-x86-64-posix
  # libFuzzer targets of the reply parsers (scripts/fuzz.sh)
  clang libclang-rt-14-dev
  # the Debian package (scripts/package.sh): CPack's dependency list reads the module with
  # file and dpkg-shlibdeps (dpkg-dev), lintian checks the result
  dpkg-dev file lintian
  # the real OBS in CI (scripts/app-test.sh): its main window found and sized, a network of its
  # own (unshare, ip); screenshots come from ffmpeg, OCR from tesseract, speech from espeak-ng
  xdotool util-linux iproute2
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all packages present"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
