#!/usr/bin/env bash
# Time from the start of tarvex-desktop to the first painted message list,
# over a Maildir whose Inbox holds 20,000 messages (or N), drawn off screen,
# first with the window hosting the filter, then as the client of a daemon.
#
#   bench/desktop-first-paint.sh [build folder] [N]
set -euo pipefail

build=$(realpath "${1:-build}")
count=${2:-20000}
source "$(dirname "$0")/../tools/temp-profile.sh"

# Mail already read, as most of a mailbox is: in cur/ with the seen flag.
python3 - "$MAILDIR/cur" "$count" <<'PY'
import sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(f"{folder}/{1700000000 + i}.M{i}P1.bench:2,S", "w") as f:
        f.write(f"From: Sender {i % 97} <s{i % 97}@example.org>\n"
                f"To: me@example.org\nSubject: Message number {i}\n"
                f"Date: Mon, 13 Nov 2023 09:{i % 60:02d}:00 +0000\n"
                f"Message-ID: <{i}@bench>\n\nBody of message {i}.\n")
PY
sync
echo "Inbox of $count messages:"
for run in 1 2 3; do
  QT_QPA_PLATFORM=offscreen "$build/src/desktop/tarvex-desktop" --first-paint 2>/dev/null
done

# The same window as the client of a running daemon: the list and the rows
# shown come over the daemon's socket.
"$build/src/cli/tarvex" run 2>"$home/daemon.log" &
daemon=$!
for _ in $(seq 100); do
  grep -q "tarvex: watching" "$home/daemon.log" && break
  sleep 0.2
done
echo "Inbox of $count messages, from a running daemon:"
for run in 1 2 3; do
  QT_QPA_PLATFORM=offscreen "$build/src/desktop/tarvex-desktop" --first-paint 2>/dev/null
done
kill -TERM "$daemon"
wait "$daemon" || true
