# The SpamAssassin corpus and the helpers the benchmark scripts share.
# Source it; it sets:
#   data                  the corpus's data folder (fetched on first use)
#   train_spam train_ham  the training half, arrays of file paths
#   test_spam test_ham    the test half
# The corpus is fetched once (scripts/fetch-corpus.sh). The split is
# deterministic: per folder, sorted by file name, even positions train and odd
# positions test.

spam_folders=(spam-1 spam-2)
ham_folders=(easy-ham-1 easy-ham-2 hard-ham-1)

# Lists the files of the given folders at even (0) or odd (1) positions.
half() {
  local parity=$1; shift
  for folder in "$@"; do
    find "$data/$folder" -name '*.txt' | LC_ALL=C sort | awk -v p="$parity" 'NR % 2 == 1 - p'
  done
}

# Runs a command, printing its wall time in seconds, its peak resident memory
# in KiB and the processor time it used (user and system) in seconds on
# standard error as "seconds kib cpu"; its output goes to standard output.
measure() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys, time
def cpu():  # of the children waited for, which may include some before this one
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
before = cpu()
start = time.perf_counter()
code = subprocess.call(sys.argv[1:])
elapsed = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print(f"{elapsed:.3f} {peak} {cpu() - before:.3f}", file=sys.stderr)
sys.exit(code)
PY
}

# Counts wrong verdicts. Reads lines "FILE VERDICT" on standard input, VERDICT
# being Spam for spam and anything else for not spam, and prints
# "false_positives false_negatives unsure_spam unsure_clean": test ham judged
# spam, test spam judged anything else, and the test spam and ham judged
# "Unsure". A test file without a verdict is an error.
count_errors() {
  python3 -c '
import sys
spam, ham = (set(l.rstrip("\n") for l in open(f)) for f in sys.argv[1:3])
verdicts = dict(l.rstrip("\n").rsplit(" ", 1) for l in sys.stdin if l.strip())
missing = [f for f in spam | ham if f not in verdicts]
if missing:
    sys.exit(f"no verdict for {len(missing)} files, e.g. {missing[0]}")
fp = sum(verdicts[f] == "Spam" for f in ham)
fn = sum(verdicts[f] != "Spam" for f in spam)
unsure = [sum(verdicts[f] == "Unsure" for f in side) for side in (spam, ham)]
print(fp, fn, *unsure)' <(printf '%s\n' "${test_spam[@]}") <(printf '%s\n' "${test_ham[@]}")
}

# Turns tarvex's "score --json" lines into "FILE VERDICT" lines.
tarvex_verdicts() {
  python3 -c '
import json, sys
for line in sys.stdin:
    o = json.loads(line)
    print(o["file"], o["verdict"])'
}

# Starts "$binary run" with its log in $work/daemon.log, its pid in $daemon;
# startup is the seconds until it watched its mail.
start_daemon() {
  : >"$work/daemon.log"
  local start=$(date +%s.%N)
  "$binary" run 2>>"$work/daemon.log" &
  daemon=$!
  until grep -q watching "$work/daemon.log"; do sleep 0.002; done
  startup=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
}

stop_daemon() {
  kill "$daemon"
  wait "$daemon" || true
  daemon=
}

data=$("$(dirname "${BASH_SOURCE[0]}")/../scripts/fetch-corpus.sh")
mapfile -t train_spam < <(half 0 "${spam_folders[@]}")
mapfile -t train_ham < <(half 0 "${ham_folders[@]}")
mapfile -t test_spam < <(half 1 "${spam_folders[@]}")
mapfile -t test_ham < <(half 1 "${ham_folders[@]}")
