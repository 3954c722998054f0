#!/usr/bin/env bash
# The programs as a user starts them: with "tarvex run" filtering the
# profile, tarvex-desktop becomes its client instead of refusing to open;
# mail delivered meanwhile is judged by the daemon, and when the window's
# program ends the daemon goes on filtering.
#
#   desktop_client_program_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
source "$(dirname "$0")/../../tools/temp-profile.sh"
tarvex="$build/src/cli/tarvex"

"$tarvex" run 2>"$home/daemon.log" &
daemon=$!
fail() {
  echo "FAIL: $*"
  cat "$home/daemon.log" "$home/desktop.log" 2>/dev/null
  kill "$daemon" "${desktop:-}" 2>/dev/null
  exit 1
}
for _ in $(seq 50); do
  grep -q "tarvex: watching" "$home/daemon.log" && break
  sleep 0.2
done
grep -q "tarvex: watching" "$home/daemon.log" || fail "the daemon never started"

QT_QPA_PLATFORM=offscreen "$build/src/desktop/tarvex-desktop" 2>"$home/desktop.log" &
desktop=$!
for _ in $(seq 50); do
  grep -q "the window is the client of the daemon at" "$home/desktop.log" && break
  sleep 0.2
done
grep -q "the window is the client of the daemon at $XDG_RUNTIME_DIR/" "$home/desktop.log" ||
  fail "the window did not become the daemon's client"

printf 'From: x@y.example\nSubject: hello\n\nhi there\n' >"$MAILDIR/tmp/m1"
mv "$MAILDIR/tmp/m1" "$MAILDIR/new/m1"
for _ in $(seq 50); do
  grep -q "^Inbox #1: clean" "$home/daemon.log" && break
  sleep 0.2
done
grep -q "^Inbox #1: clean" "$home/daemon.log" || fail "the daemon did not judge the delivery"

kill -TERM "$desktop"
wait "$desktop" || true
kill -0 "$daemon" 2>/dev/null || fail "the daemon stopped with the window"
"$tarvex" stats | grep -q "^Words:" || fail "the daemon no longer answers"
kill -TERM "$daemon"
wait "$daemon" || fail "daemon exit status $? after SIGTERM"
echo "ok"
