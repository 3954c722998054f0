#!/usr/bin/env bash
# Trains and scores the public SpamAssassin corpus with the real program and
# prints throughput, peak memory and the false positive / negative counts.
#
#   bench/corpus.sh [TARVEX_BINARY]      (default: build/src/cli/tarvex)
#
# Messages are read raw (--raw). The corpus and its split: corpus-lib.sh.
set -euo pipefail

binary=$(realpath "${1:-build/src/cli/tarvex}")
source "$(dirname "$0")/corpus-lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
unset TARVEX_CONFIG
"$binary" init >/dev/null

train_count=$(( ${#train_spam[@]} + ${#train_ham[@]} ))
test_count=$(( ${#test_spam[@]} + ${#test_ham[@]} ))

read -r t1 m1 _ < <(measure "$binary" learn --spam --raw "${train_spam[@]}" 2>&1 >/dev/null)
read -r t2 m2 _ < <(measure "$binary" learn --clean --raw "${train_ham[@]}" 2>&1 >/dev/null)
measure "$binary" score --raw --json "${test_spam[@]}" "${test_ham[@]}" \
  >"$work/scores.json" 2>"$work/score.time"
read -r ts ms _ <"$work/score.time"
words=$("$binary" stats | awk '/^Words/ {print $2}')

read -r false_positives false_negatives _ < <(tarvex_verdicts <"$work/scores.json" | count_errors)

# Peak memory with the whole corpus learnt: learn the test half too, then score.
"$binary" learn --spam --raw "${test_spam[@]}" >/dev/null
"$binary" learn --clean --raw "${test_ham[@]}" >/dev/null
read -r _ m_all _ < <(measure "$binary" score --raw --json "${test_spam[@]:0:1}" 2>&1 >/dev/null)
all_words=$("$binary" stats | awk '/^Words/ {print $2}')

python3 - "$train_count" "$t1" "$t2" "$m1" "$m2" "$test_count" "$ts" "$ms" "$words" \
  "$false_positives" "${#test_ham[@]}" "$false_negatives" "${#test_spam[@]}" "$m_all" \
  "$all_words" <<'PY'
import sys
(train, t1, t2, m1, m2, test, ts, ms, words, fp, ham, fn, spam, m_all, all_words) = sys.argv[1:]
train_time = float(t1) + float(t2)
print(f"train: {train} messages in {train_time:.3f} s = {int(train) / train_time:,.0f} msg/s "
      f"(peak {max(int(m1), int(m2)) / 1024:.1f} MiB, {words} words)")
print(f"score: {test} messages in {float(ts):.3f} s = {int(test) / float(ts):,.0f} msg/s "
      f"(peak {int(ms) / 1024:.1f} MiB)")
print(f"train/score time ratio: {train_time / float(ts):.2f}")
print(f"false positives: {fp} of {ham} clean; false negatives: {fn} of {spam} spam")
print(f"whole corpus learnt: {all_words} words, peak {int(m_all) / 1024:.1f} MiB while scoring")
PY
