#!/usr/bin/env bash
# How fast the daemon judges mail on an IMAP account. Starts a private
# Dovecot (TLS, a certificate made here, a throwaway Maildir), trains a fresh
# profile on the corpus's training half, starts "tarvex run" on the account,
# then appends N messages of the test half to INBOX from another connection,
# as deliveries appear, and times from the first append until the daemon has
# judged every one: rewritten (a new copy stored, the original expunged) and,
# for spam, moved to DedoZarozo. Then stops the daemon, appends M messages
# that already carry a verdict, and times a start on that INBOX until the
# daemon watches. The server does not flush its disk (mail_fsync = never),
# and keeps its mail as STORAGE says (a Dovecot mail_location format:
# sdbox by default; maildir is slower on the server's side, which rewrites
# its UID list at every change).
#
#   [STORAGE=maildir] bench/imap.sh [N [M [TARVEX_BINARY]]]
#   (defaults: 2000, 20000, build/src/cli/tarvex)
set -euo pipefail

count=${1:-2000}
judged=${2:-20000}
binary=$(realpath "${3:-build/src/cli/tarvex}")
source "$(dirname "$0")/corpus-lib.sh"

work=$(mktemp -d)
chmod 755 "$work"
daemon=
dovecot=
cleanup() {
  [ -n "$daemon" ] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
  [ -n "$dovecot" ] && kill "$dovecot" 2>/dev/null && wait "$dovecot" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# ------------------------------------------------------------------ the server
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/run" "$work/state" "$work/home"
chmod 1777 "$work/home"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
if [ "$(id -u)" -eq 0 ]; then ids="uid=65534 gid=65534"; else ids="uid=$(id -u) gid=$(id -g)"; fi
cat >"$work/dovecot.conf" <<EOF
base_dir = $work/run
state_dir = $work/state
log_path = $work/dovecot.log
instance_name = tarvex-bench-$port
protocols = imap
listen = 127.0.0.1
ssl = required
ssl_cert = <$work/cert.pem
ssl_key = <$work/key.pem
auth_mechanisms = plain login
first_valid_uid = 0
mail_location = ${STORAGE:-sdbox}:~/mail
# The disk's flushes are the server's cost, the same for any client: left
# out, so that what is timed is the daemon and the protocol.
mail_fsync = never
passdb {
  driver = static
  args = password=secret
}
userdb {
  driver = static
  args = $ids home=$work/home/%u
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $port
  }
}
namespace inbox {
  inbox = yes
  separator = /
}
EOF
if [ "$(id -u)" -ne 0 ]; then
  printf 'default_internal_user = %s\ndefault_login_user = %s\n' "$USER" "$USER" >>"$work/dovecot.conf"
fi
/usr/sbin/dovecot -F -c "$work/dovecot.conf" &
dovecot=$!
until python3 -c "import socket; socket.create_connection(('127.0.0.1', $port))" 2>/dev/null; do
  sleep 0.05
done

# ------------------------------------------------------------------ the profile
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_STATE_HOME=$work/statehome XDG_RUNTIME_DIR=$work/run-user
unset TARVEX_CONFIG MAILDIR
mkdir -p "$XDG_RUNTIME_DIR"
"$binary" init --imap "imaps://bench@127.0.0.1:$port" >/dev/null
printf 'PasswordCommand = echo secret\nCertificateFile = %s\n' "$work/cert.pem" \
  >>"$XDG_CONFIG_HOME/tarvex/account.conf"
"$binary" learn --spam "${train_spam[@]}" >/dev/null
"$binary" learn --clean "${train_ham[@]}" >/dev/null

# Appends messages to INBOX: "burst N FILE..." appends N (the files over and
# over) and waits until the daemon's log has N judged lines, printing the
# rate; "judged N FILE..." appends N carrying a verdict, and waits for none.
append() {
  python3 - "$port" "$work/cert.pem" "$work/daemon.log" "$@" <<'PY'
import imaplib, itertools, ssl, sys, time
port, cert, log, mode, count, files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), sys.argv[6:]
imap = imaplib.IMAP4_SSL("127.0.0.1", int(port), ssl_context=ssl.create_default_context(cafile=cert))
imap.login("bench", "secret")
texts = [open(f, "rb").read() for f in files]
start = time.perf_counter()
for i, text in enumerate(itertools.islice(itertools.cycle(texts), count)):
    if mode == "judged":
        text = b"X-TVX-RESULT: Clean\r\n" + text
    imap.append("INBOX", None, None, text)
if mode == "judged":
    sys.exit(0)
appended = time.perf_counter() - start
def judged():
    with open(log, errors="replace") as f:
        return sum(1 for line in f if line.startswith("Inbox #"))
while judged() < count:
    time.sleep(0.01)
elapsed = time.perf_counter() - start
print(f"judged {count} messages appended to INBOX in {elapsed:.2f} s: {count / elapsed:.0f} msg/s"
      f" (the appends alone took {appended:.2f} s)")
PY
}

test_files=("${test_spam[@]}" "${test_ham[@]}")
start_daemon
append burst "$count" "${test_files[@]}"
stop_daemon
append judged "$judged" "${test_files[@]}"
start_daemon
echo "start on an INBOX of $judged judged messages: ready in $startup s"
stop_daemon
