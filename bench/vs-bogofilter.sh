#!/usr/bin/env bash
# Tarvex next to bogofilter on the public SpamAssassin corpus: both learn the
# training half and judge the test half, each the fastest way its command line
# allows (tarvex: all files in one run; bogofilter: bulk mode, -B). Prints the
# time (wall and processor) and messages per second of each phase, the false
# positives and false negatives of each filter and the speed ratios.
#
#   bench/vs-bogofilter.sh [TARVEX_BINARY]      (default: build/src/cli/tarvex)
#
# Tarvex reads the messages decoded (its default). bogofilter is installed
# with apt-get when missing. Both run with a home, settings and data of their
# own in a temporary folder; bogofilter reads no configuration file (-C).
# The corpus and its split: corpus-lib.sh.
set -euo pipefail

binary=$(realpath "${1:-build/src/cli/tarvex}")
source "$(dirname "$0")/corpus-lib.sh"

if ! command -v bogofilter >/dev/null; then
  echo "installing bogofilter" >&2
  sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y bogofilter >/dev/null ||
    { $sudo apt-get update >/dev/null && $sudo apt-get install -y bogofilter >/dev/null; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_RUNTIME_DIR=$work/run MAILDIR=$work/Maildir
unset TARVEX_CONFIG BOGOFILTER_DIR
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$binary" init >/dev/null
bogo=(bogofilter -C -d "$work/bogofilter")
mkdir "$work/bogofilter"

train_count=$(( ${#train_spam[@]} + ${#train_ham[@]} ))
test_count=$(( ${#test_spam[@]} + ${#test_ham[@]} ))

# Prints "wall cpu": the seconds a command takes and the processor seconds it
# uses; its output is dropped.
seconds() {
  measure "$@" 2>&1 >/dev/null | awk '{print $1, $3}'
}

# Adds up "wall cpu" pairs, one per argument.
sum() {
  printf '%s\n' "$@" | awk '{w += $1; c += $2} END {printf "%.3f %.3f\n", w, c}'
}

t_learn=$(sum "$(seconds "$binary" learn --spam "${train_spam[@]}")" \
  "$(seconds "$binary" learn --clean "${train_ham[@]}")")
b_learn=$(sum "$(seconds "${bogo[@]}" -s -B "${train_spam[@]}")" \
  "$(seconds "${bogo[@]}" -n -B "${train_ham[@]}")")

# Both must have learnt every message, else the times mean nothing.
learnt() {
  local who=$1 spam=$2 clean=$3
  if [ "$spam $clean" != "${#train_spam[@]} ${#train_ham[@]}" ]; then
    echo "$who learnt $spam spam and $clean clean messages, not" \
      "${#train_spam[@]} and ${#train_ham[@]}" >&2
    exit 1
  fi
}
learnt tarvex $("$binary" stats | awk '/^Spam messages/ {s = $3} /^Clean messages/ {c = $3}
                                      END {print s, c}')
learnt bogofilter $(bogoutil -w "$work/bogofilter/wordlist.db" .MSG_COUNT | awk 'END {print $2, $3}')

# Scoring: tarvex prints one JSON object per file, bogofilter -T one line
# "FILE S|H|U SCORE" per file (Spam, Ham, Unsure).
measure "$binary" score --json "${test_spam[@]}" "${test_ham[@]}" \
  >"$work/tarvex.scores" 2>"$work/tarvex.time"
measure "${bogo[@]}" -T -B "${test_spam[@]}" "${test_ham[@]}" \
  >"$work/bogofilter.scores" 2>"$work/bogofilter.time" || true  # the exit code is the verdict
t_score=$(awk '{print $1, $3}' "$work/tarvex.time")
b_score=$(awk '{print $1, $3}' "$work/bogofilter.time")

read -r t_fp t_fn _ < <(tarvex_verdicts <"$work/tarvex.scores" | count_errors)
read -r b_fp b_fn unsure_spam unsure_ham < <(
  awk '{ v = $(NF - 1); $(NF - 1) = $NF = ""; sub(/ +$/, "")
         print $0, (v == "S" ? "Spam" : v == "U" ? "Unsure" : "Ham") }' \
    "$work/bogofilter.scores" | count_errors)

python3 - "$train_count" "$test_count" "${#test_ham[@]}" "${#test_spam[@]}" \
  "$t_learn" "$t_score" "$t_fp" "$t_fn" "$b_learn" "$b_score" "$b_fp" "$b_fn" \
  "$unsure_spam" "$unsure_ham" <<'PY'
import sys
train, test, ham, spam = map(int, sys.argv[1:5])
t_learn, t_score, t_fp, t_fn, b_learn, b_score, b_fp, b_fn, u_spam, u_ham = sys.argv[5:]
times = lambda pair: tuple(map(float, pair.split()))  # (wall, cpu)
t_learn, t_score, b_learn, b_score = map(times, (t_learn, t_score, b_learn, b_score))
print(f"corpus: {train} messages to train, {test} to score ({spam} spam, {ham} clean)")
print(f"{'':11} {'train':>7} {'msg/s':>7} {'cpu':>7} {'score':>7} {'msg/s':>7} {'cpu':>7}"
      f" {'false pos':>9} {'false neg':>9}")
for name, learn, score, fp, fn in (("tarvex", t_learn, t_score, t_fp, t_fn),
                                   ("bogofilter", b_learn, b_score, b_fp, b_fn)):
    print(f"{name:11} {learn[0]:6.3f}s {train / learn[0]:7,.0f} {learn[1]:6.3f}s"
          f" {score[0]:6.3f}s {test / score[0]:7,.0f} {score[1]:6.3f}s {fp:>9} {fn:>9}")
print(f"bogofilter's Unsure counts as not spam: {u_spam} spam and {u_ham} clean were Unsure")
print(f"speed tarvex/bogofilter: train {b_learn[0] / t_learn[0]:.2f}x "
      f"({b_learn[1] / t_learn[1]:.2f}x in processor time), "
      f"score {b_score[0] / t_score[0]:.2f}x ({b_score[1] / t_score[1]:.2f}x in processor time)")
PY
