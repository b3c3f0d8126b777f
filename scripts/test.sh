#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test.
# Usage: scripts/test.sh [--tsan|--plain] [extra ctest arguments]
# Default: AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=asan
case "${1:-}" in
  --tsan) flavour=tsan; shift ;;
  --plain) flavour=plain; shift ;;
  --asan) shift ;;
esac

scripts/deps.sh
scripts/build.sh "$flavour"

root="$(pwd)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
# The headless host needs a display; Mesa draws in software.
export LIBGL_ALWAYS_SOFTWARE=1

cd "build-$flavour"
xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure "$@"
