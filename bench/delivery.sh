#!/usr/bin/env bash
# How fast the daemon judges mail as it is delivered. Trains a fresh profile
# on the corpus's training half, starts "tarvex run" on a fresh Maildir, then
# delivers the test half into the Inbox as a delivery agent does (write and
# flush in tmp/, rename into new/, flush new/) and times from the first
# delivery until the daemon has judged every message: rewritten its headers
# and moved the spam, each step flushed to disk. Also times the daemon's
# start-up with the whole corpus's words learnt.
#
# With --burst N, delivers N messages instead (the test half over and over,
# each under a unique name of its own) and prints only the rate, to see
# whether judging slows as the Inbox and the spam folder grow.
#
#   bench/delivery.sh [--burst N] [TARVEX_BINARY]   (default: build/src/cli/tarvex)
set -euo pipefail

burst=0
if [ "${1:-}" = --burst ]; then
  burst=$2
  shift 2
fi
binary=$(realpath "${1:-build/src/cli/tarvex}")
source "$(dirname "$0")/corpus-lib.sh"

work=$(mktemp -d)
daemon=
cleanup() {
  [ -n "$daemon" ] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_RUNTIME_DIR=$work/run MAILDIR=$work/Maildir
unset TARVEX_CONFIG
mkdir -p "$XDG_RUNTIME_DIR"
"$binary" init >/dev/null
"$binary" learn --spam "${train_spam[@]}" >/dev/null
"$binary" learn --clean "${train_ham[@]}" >/dev/null

start_daemon
test_files=("${test_spam[@]}" "${test_ham[@]}")
python3 - "$MAILDIR" "$work/daemon.log" "$daemon" "$burst" "${test_files[@]}" <<'PY'
import itertools, os, sys, time
maildir, log, pid, burst, files = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:]
def cpu():  # the daemon's processor time so far, user and system, in seconds
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
if burst:
    files = list(itertools.islice(itertools.cycle(files), burst))
# Staging in tmp/ is the delivery agent's own work, done before the clock starts.
staged = []
for i, path in enumerate(files):
    name = f"1700000000.M{i}P1.bench"
    tmp = os.path.join(maildir, "tmp", name)
    with open(tmp, "wb") as out, open(path, "rb") as src:
        out.write(src.read())
        out.flush()
        os.fsync(out.fileno())
    staged.append(name)
new = os.open(os.path.join(maildir, "new"), os.O_RDONLY)
cpu_before = cpu()
start = time.perf_counter()
for name in staged:
    os.rename(os.path.join(maildir, "tmp", name), os.path.join(maildir, "new", name))
    os.fsync(new)
delivered = time.perf_counter() - start
# Reads only what the log gained since the last look, so that watching a long
# burst costs no more than a short one.
judged, seen, partial = 0, 0, b""
while judged < len(staged):
    with open(log, "rb") as f:
        f.seek(seen)
        chunk = f.read()
    seen += len(chunk)
    lines = (partial + chunk).split(b"\n")
    partial = lines.pop()
    judged += sum(1 for line in lines if b" #" in line)
    if judged < len(staged):
        time.sleep(0.01)
elapsed = time.perf_counter() - start
# The processor time per message does not depend on what else the machine runs.
per_message = (cpu() - cpu_before) / len(staged) * 1000
print(f"delivered {len(staged)} messages in {delivered:.2f} s; all judged after "
      f"{elapsed:.2f} s: {len(staged) / elapsed:.0f} messages/s sustained, "
      f"daemon processor time {per_message:.2f} ms per message")
PY
stop_daemon
[ "$burst" -gt 0 ] && exit 0
spam=$(ls "$MAILDIR/.DedoZarozo/new" | wc -l)
echo "in DedoZarozo: $spam of ${#test_spam[@]} spam and ${#test_ham[@]} clean delivered"

# Start-up with every word of the corpus learnt.
"$binary" learn --spam "${test_spam[@]}" >/dev/null
"$binary" learn --clean "${test_ham[@]}" >/dev/null
words=$("$binary" stats | awk '/^Words/ {print $2}')
for i in 1 2 3; do
  start_daemon
  echo "start-up with $words words: $startup s"
  stop_daemon
done
