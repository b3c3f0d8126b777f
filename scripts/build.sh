#!/usr/bin/env bash
# Configures and builds one flavour into build-<flavour>/.
# Usage: scripts/build.sh [plain|asan|tsan|release|fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-plain}"
case "$flavour" in
  plain)   args=(-DCMAKE_BUILD_TYPE=Debug -DSAYLINE_SANITIZER=none -DSAYLINE_BUILD_TESTS=ON -DSAYLINE_BUILD_BENCH=ON) ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=Debug -DSAYLINE_SANITIZER=asan -DSAYLINE_BUILD_TESTS=ON -DSAYLINE_BUILD_BENCH=ON) ;;
  tsan)    args=(-DCMAKE_BUILD_TYPE=Debug -DSAYLINE_SANITIZER=tsan -DSAYLINE_BUILD_TESTS=ON -DSAYLINE_BUILD_BENCH=OFF) ;;
  release) args=(-DCMAKE_BUILD_TYPE=Release -DSAYLINE_SANITIZER=none -DSAYLINE_BUILD_TESTS=ON -DSAYLINE_BUILD_BENCH=ON) ;;
  # libFuzzer targets of the reply parsers, built with clang; no tests, no benchmarks.
  fuzz)    args=(-DCMAKE_BUILD_TYPE=Debug -DSAYLINE_SANITIZER=none -DSAYLINE_BUILD_TESTS=OFF -DSAYLINE_BUILD_BENCH=OFF
                 -DSAYLINE_BUILD_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake -S . -B "build-$flavour" "${args[@]}" >/dev/null
cmake --build "build-$flavour" -j "$(nproc)"
