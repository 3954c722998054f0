#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds on a scratch copy of its seed
# corpus, so the seeds in the tree stay as they are. Fails when a target fails;
# its crash input is kept in the scratch folder, whose path is printed.
#
#   fuzz/run.sh BUILD_DIR SECONDS
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build_dir=$1
seconds=$2
fuzz_dir=$(cd "$(dirname "$0")" && pwd)

# target name : seed folder
targets="database_reader_fuzz:database tokenizer_fuzz:tokenizer message_reading_fuzz:message"
targets="$targets settings_file_fuzz:settings sender_lists_fuzz:lists command_frame_fuzz:command_frame"
targets="$targets operation_request_fuzz:operation_request"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-fuzz.XXXXXX")
failed=0
for entry in $targets; do
  target=${entry%%:*}
  seeds=${entry#*:}
  binary="$build_dir/fuzz/$target"
  if [ ! -x "$binary" ]; then
    echo "$target: no binary at $binary" >&2
    failed=1
    continue
  fi
  work="$scratch/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$fuzz_dir/corpus/$seeds"/* "$work/corpus/"
  echo "== $target for ${seconds}s"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    tail -n 12 "$work/log"
  else
    tail -n 60 "$work/log"
    echo "$target FAILED; log and crash input in $work" >&2
    failed=1
  fi
done

if [ "$failed" -eq 0 ]; then
  rm -rf "$scratch"
  echo "all fuzz targets passed"
fi
exit "$failed"
