#!/usr/bin/env bash
# Speech end -> subtitle drawn in the headless host, cut every 3 seconds and at pauses: plays a
# sentence at ten phases against a loopback speech service that answers in 0.3 s and prints
# both tables (about three minutes); then streaming recognition: interim and final words drawn,
# and the audio bytes sent for 60 s holding 20 s of speech (one more minute). Never part of
# CI's pass/fail.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DSAYLINE_SANITIZER=none \
  -DSAYLINE_BUILD_TESTS=ON -DSAYLINE_BUILD_BENCH=ON >/dev/null
cmake --build build-release --target subtitle_latency_host streaming_latency_host -j "$(nproc)"
for b in subtitle_latency_host streaming_latency_host; do
  LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1920x1080x24" build-release/bench/$b "$@"
done
