#!/usr/bin/env bash
# Builds the fuzz flavour and runs every reply-parser target for the given time, one after the
# other, each over a scratch copy of its seeds in tests/fuzz/corpus/<target>/ (the seeds in the
# repository are never written). Fails when a target crashes; the input that did it is kept
# under build-fuzz/findings/<target>/.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

scripts/build.sh fuzz

root="$(pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for seeds in tests/fuzz/corpus/*/; do
  name="$(basename "$seeds")"
  binary="build-fuzz/tests/fuzz/fuzz_$name"
  corpus="$scratch/$name"
  findings="$root/build-fuzz/findings/$name"
  mkdir -p "$corpus" "$findings"
  cp "$seeds"* "$corpus/"
  started=$(date +%s)
  if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -max_len=16384 \
      -dict=tests/fuzz/reply.dict -artifact_prefix="$findings/" -print_final_stats=1 \
      "$corpus" >"$scratch/$name.log" 2>&1; then
    outcome="ok"
  else
    outcome="FAILED"
    failed+=("$name")
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$name.log" | tail -n 1)
  echo "fuzz: $name: $outcome, $(( $(date +%s) - started )) s, ${runs:-?} executions," \
       "corpus $(ls "$seeds" | wc -l) -> $(ls "$corpus" | wc -l) inputs"
  if [ "$outcome" = "FAILED" ]; then
    tail -n 60 "$scratch/$name.log"
    echo "fuzz: $name: reproducer in $findings/"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
