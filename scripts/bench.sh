#!/usr/bin/env bash
# Builds a release tree and runs every benchmark under bench/ (never part of CI's pass/fail).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh release
for b in build-release/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
echo "== speech_detector_rates"
build-release/bench/speech_detector_rates
