#!/usr/bin/env bash
# Runs every fuzz target of a clang build configured with -DNIVOLO_FUZZ=ON for
# SECONDS each, on a scratch copy of its seed corpus (fuzz/corpus/<target>, which
# is never grown here), and prints one line per target:
#   fuzz <target>: <N> executions, <crashes> crashes
# A crash, leak, timeout or sanitizer report fails the run (exit status 1); its
# input and log are kept in BUILD_DIR/fuzz-findings/<target>/ for reproduction:
#   BUILD_DIR/<target> BUILD_DIR/fuzz-findings/<target>/crash-...
set -uo pipefail

if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]] || [ "$2" -lt 1 ]; then
  echo "usage: fuzz/run-all.sh BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/nivolo-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The largest input per target: a little more than its largest real input
# (a state of 16 entries, a skin description, a small resource file, a few
# hundred frames of audio), so time goes into variations, not into size.
targets=(fuzz_processor_state fuzz_controller_state fuzz_resource_file fuzz_skin fuzz_audio_file)
declare -A maxlen=(
  [fuzz_processor_state]=4096
  [fuzz_controller_state]=4096
  [fuzz_resource_file]=16384
  [fuzz_skin]=16384
  [fuzz_audio_file]=8192
)

failed=0
for target in "${targets[@]}"; do
  binary="$build/$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz $target: not built ($binary missing)"
    failed=1
    continue
  fi
  corpus="$work/$target/corpus"
  findings="$work/$target/findings"
  log="$work/$target/log"
  mkdir -p "$corpus" "$findings"
  cp -R "$here/corpus/$target/." "$corpus/"

  # An input that runs 30 s counts as a hang; 2 GB as running out of memory.
  "$binary" "$corpus" -max_total_time="$seconds" -max_len="${maxlen[$target]}" -timeout=30 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  status=$?

  executions=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  crashes=$(find "$findings" -type f | wc -l)
  # A run that ended badly without leaving an input still counts as one.
  if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi
  echo "fuzz $target: ${executions:-0} executions, $crashes crashes"

  if [ "$crashes" -ne 0 ]; then
    failed=1
    keep="$build/fuzz-findings/$target"
    mkdir -p "$keep"
    cp -R "$findings/." "$keep/"
    cp "$log" "$keep/log"
    grep -m 1 -E 'ERROR: |runtime error: |==[0-9]+==' "$log" | sed "s/^/  /" || true
    echo "  inputs and log: $keep"
  fi
done
exit "$failed"
