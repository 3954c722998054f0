#!/usr/bin/env bash
# The program as a user starts it: over a fresh profile, tarvex-desktop
# judges what is delivered, the command line works through its socket while
# it runs, and SIGTERM ends it cleanly.
#
#   desktop_program_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
source "$(dirname "$0")/../../tools/temp-profile.sh"
tarvex="$build/src/cli/tarvex"

QT_QPA_PLATFORM=offscreen "$build/src/desktop/tarvex-desktop" 2>"$home/desktop.log" &
pid=$!
fail() { echo "FAIL: $*"; cat "$home/desktop.log"; kill "$pid" 2>/dev/null; exit 1; }

for _ in $(seq 50); do
  grep -q "tarvex: watching" "$home/desktop.log" && break
  sleep 0.2
done
grep -q "tarvex: watching" "$home/desktop.log" || fail "the window never started filtering"
"$tarvex" stats | grep -q "^Words: 0$" || fail "stats did not come through the socket"

printf 'From: x@y.example\nSubject: hello\n\nhi there\n' >"$MAILDIR/tmp/m1"
mv "$MAILDIR/tmp/m1" "$MAILDIR/new/m1"
for _ in $(seq 50); do
  grep -q "^Inbox #1: clean" "$home/desktop.log" && break
  sleep 0.2
done
"$tarvex" headers "$MAILDIR/new/m1" | grep -q "^X-TVX-RESULT: Clean" ||
  fail "the delivered message was not judged"

kill -TERM "$pid"
wait "$pid" || fail "exit status $? after SIGTERM"
grep -q "^tarvex: stopping$" "$home/desktop.log" || fail "no orderly stop"
echo "ok"
