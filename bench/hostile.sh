#!/usr/bin/env bash
# Hostile mail against the real daemon. Makes a scratch HOME, profile and
# Maildir, starts "tarvex run" and delivers into new/ as a delivery agent does
# (written in tmp/, renamed into new/):
#   1. a hostile set: a 50 MB message, 10,000 MIME parts, 1,000 nested
#      multipart levels, NUL bytes without a header, a header without a body,
#      a 1 MB header line, bad base64, bad quoted-printable, unknown and lying
#      charsets, a symbolic link to a file outside the Maildir, an unreadable
#      file (mode 000; root reads it all the same) and an empty file;
#   2. a flood of 20,000 messages from the corpus (repeated, each with its own
#      Message-ID) while a client runs "tarvex stats" over and over;
#   3. a FIFO, then two ordinary messages and a client call behind it, which
#      must all still be answered.
# It then stops the daemon and prints what was judged, what the daemon logged
# instead (skips and their reasons), messages lost or duplicated (each
# delivered file must be in exactly one folder), whether the link was
# followed, the daemon's peak memory, the longest client wait and the flood's
# rate at 5,000 and at 20,000 messages. It builds nothing.
#
#   bench/hostile.sh [TARVEX_BINARY]      (default: build/src/cli/tarvex)
#
# HOSTILE_TIME_LIMIT (seconds, default 540) bounds the run: when it is reached
# the script stops waiting, reports what it saw and cleans up.
# HOSTILE_FLOOD (default 20000) is the flood's size.
set -euo pipefail

binary=$(realpath "${1:-build/src/cli/tarvex}")
data=$("$(dirname "$0")/../scripts/fetch-corpus.sh")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_RUNTIME_DIR=$work/run MAILDIR=$work/Maildir
unset TARVEX_CONFIG
mkdir -p "$XDG_RUNTIME_DIR"
"$binary" init >/dev/null
# A little training, so that the flood is scored against real words.
mapfile -t spam < <(find "$data/spam-1" -name '*.txt' | LC_ALL=C sort | head -n 200)
mapfile -t ham < <(find "$data/easy-ham-1" -name '*.txt' | LC_ALL=C sort | head -n 200)
"$binary" learn --spam "${spam[@]}" >/dev/null
"$binary" learn --clean "${ham[@]}" >/dev/null

python3 - "$binary" "$work" "$data" "${HOSTILE_TIME_LIMIT:-540}" "${HOSTILE_FLOOD:-20000}" <<'PY'
import collections, os, re, signal, subprocess, sys, threading, time

binary, work, data, limit, flood_size = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4]), int(sys.argv[5])
maildir = os.environ["MAILDIR"]
log_path = os.path.join(work, "daemon.log")
deadline = time.monotonic() + limit
notes = []  # what did not go as planned, printed at the end


def out_of_time():
    return time.monotonic() >= deadline


# ------------------------------------------------------------------ the log

JUDGED = re.compile(rb" #\d+: (whitelisted|blacklisted|nonenglish|spam|clean|untouched)")


class Log:
    """The daemon's log, read as it grows: judged lines with the time they were
    seen, and every other line."""

    def __init__(self):
        self.offset, self.rest = 0, b""
        self.judged_times, self.failed, self.other, self.skipped = [], 0, [], 0

    def poll(self):
        with open(log_path, "rb") as f:
            f.seek(self.offset)
            chunk = f.read()
        self.offset += len(chunk)
        lines = (self.rest + chunk).split(b"\n")
        self.rest = lines.pop()
        now = time.monotonic()
        for line in lines:
            if JUDGED.search(line):
                if b"stopped by a host failure" in line:
                    self.failed += 1
                else:
                    self.judged_times.append(now)
            elif not re.match(rb"tarvex: (watching|stopping)", line):
                self.skipped += line.startswith(b"tarvex: skipped ")
                self.other.append(line.decode("utf-8", "replace"))
        return len(self.judged_times)

    def wait_for(self, count, timeout, skipped_count=False):
        """Waits until count messages are judged in all (or, with
        skipped_count, judged or skipped with a log line); False on timeout."""
        end = min(deadline, time.monotonic() + timeout)
        while self.poll() + (self.skipped if skipped_count else 0) < count:
            if time.monotonic() >= end:
                return False
            time.sleep(0.02)
        return True


# ------------------------------------------------------------------ delivery

delivered = []  # unique names of regular message files delivered
serial = 0


def stage(contents):
    """Writes a message into tmp/ and returns its name; renamed later."""
    global serial
    serial += 1
    name = f"1700000000.M{serial}P{os.getpid()}.hostile"
    with open(os.path.join(maildir, "tmp", name), "wb") as f:
        f.write(contents)
    return name


def rename_in(name):
    os.rename(os.path.join(maildir, "tmp", name), os.path.join(maildir, "new", name))


def deliver(contents):
    name = stage(contents)
    rename_in(name)
    delivered.append(name)


OUTSIDE = b"Subject: not yours\n\nOUTSIDE-SECRET-7f3a\n"


def hostile_set():
    outside = os.path.join(work, "outside-secret.txt")
    with open(outside, "wb") as f:
        f.write(OUTSIDE)
    line = b"the quick brown fox jumps over the lazy dog " * 2 + b"\n"
    messages = {
        "50 MB message": b"From: big@example.com\nSubject: big\n\n" + line * (50 * 2**20 // len(line)),
        "10,000 MIME parts": b"From: parts@example.com\nSubject: parts\nMIME-Version: 1.0\n"
        b"Content-Type: multipart/mixed; boundary=b\n\n"
        + b"".join(b"--b\nContent-Type: text/plain\n\npart %d\n" % i for i in range(10000))
        + b"--b--\n",
        "1,000 nested levels": b"From: deep@example.com\nSubject: deep\nMIME-Version: 1.0\n"
        + b"".join(b"Content-Type: multipart/mixed; boundary=l%d\n\n--l%d\n" % (i, i) for i in range(1000))
        + b"Content-Type: text/plain\n\nbottom\n"
        + b"".join(b"--l%d--\n" % i for i in reversed(range(1000))),
        "NUL bytes without header": bytes(range(256)) * 16 + b"\0" * 4096,
        "header only": b"From: head@example.com\nSubject: no body\nX-Filler: x",
        "1 MB header line": b"From: long@example.com\nSubject: " + b"a" * 2**20 + b"\n\nshort body\n",
        "bad base64": b"From: b64@example.com\nContent-Type: text/plain\n"
        b"Content-Transfer-Encoding: base64\n\n!!!not*base64===\x00\xff====abc\n",
        "bad quoted-printable": b"From: qp@example.com\nContent-Type: text/plain\n"
        b"Content-Transfer-Encoding: quoted-printable\n\nbroken =ZZ =\n=4 =\r\n=E2=82\n",
        "bad charsets": b"From: =?x-nonsense?B?////?= <cs@example.com>\nSubject: =?utf-8?Q?=FF=FE?=\n"
        b"Content-Type: text/plain; charset=utf-8\n\n\xff\xfe\xc3\x28 lying utf-8 \xe9t\xe9\n",
        "unknown charset": b"From: cs2@example.com\nContent-Type: text/plain; charset=x-klingon\n\n\x80\x81\x82\n",
        "empty file": b"",
    }
    for contents in messages.values():
        deliver(contents)
    # Mode 000 before the rename, as a careless delivery agent might leave it.
    name = stage(b"From: locked@example.com\nSubject: locked\n\nmode 000\n")
    os.chmod(os.path.join(maildir, "tmp", name), 0)
    rename_in(name)
    delivered.append(name)
    if os.geteuid() == 0:
        notes.append("running as root: the mode-000 file is readable to the daemon all the same")
    link = "1700000000.link.hostile"
    os.symlink(outside, os.path.join(maildir, "tmp", link))
    rename_in(link)
    return len(messages) + 1


def flood_messages(count):
    files = []
    for folder in ("spam-1", "spam-2", "easy-ham-1", "easy-ham-2", "hard-ham-1"):
        d = os.path.join(data, folder)
        files += sorted(os.path.join(d, f) for f in os.listdir(d) if f.endswith(".txt"))
    for i in range(count):
        with open(files[i % len(files)], "rb") as f:
            text = f.read()
        text = re.sub(rb"(?im)^message-id:", b"X-Old-Message-ID:", text)
        yield b"Message-ID: <flood-%d@hostile.test>\n" % i + text


# ------------------------------------------------------------------ the client

waits, client_failures = [], collections.Counter()
client_stop = threading.Event()


def client_loop():
    while not client_stop.is_set():
        start = time.monotonic()
        try:
            r = subprocess.run([binary, "stats"], capture_output=True, timeout=120)
            if r.returncode != 0:
                client_failures[f"exit {r.returncode}: {r.stderr.decode(errors='replace').strip()[:100]}"] += 1
        except subprocess.TimeoutExpired:
            client_failures["no answer within 120 s"] += 1
        waits.append(time.monotonic() - start)
        time.sleep(0.05)


# ------------------------------------------------------------------ the run

log_file = open(log_path, "wb")
daemon = subprocess.Popen([binary, "run"], stdout=log_file, stderr=subprocess.STDOUT)
peak_kib = None


def vm_hwm():
    try:
        with open(f"/proc/{daemon.pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


log = Log()
phase = {}
flood_names, flood_times, flood_done = [], [], False
client = threading.Thread(target=client_loop, daemon=True)
try:
    while b"watching" not in open(log_path, "rb").read():
        if daemon.poll() is not None or out_of_time():
            raise SystemExit("the daemon did not start:\n" + open(log_path, errors="replace").read())
        time.sleep(0.02)
    client.start()

    # 1. The hostile set.
    start = time.monotonic()
    hostile = hostile_set()
    phase["hostile"] = (hostile, log.wait_for(hostile, 120, skipped_count=True),
                        time.monotonic() - start)
    hostile_judged = log.poll()

    # 2. The flood: staged first (the delivery agent's own work), then renamed
    # in as fast as renames go, so that the rate measured is the daemon's.
    flood_names = []
    for contents in flood_messages(flood_size):
        if out_of_time():
            notes.append(f"time limit reached while staging the flood ({len(flood_names)} staged)")
            break
        flood_names.append(stage(contents))
    flood_start = time.monotonic()
    for name in flood_names:
        rename_in(name)
        delivered.append(name)
    new_dir = os.open(os.path.join(maildir, "new"), os.O_RDONLY)
    os.fsync(new_dir)
    os.close(new_dir)
    flood_done = log.wait_for(hostile_judged + len(flood_names), 600)
    flood_times = [t - flood_start for t in log.judged_times[hostile_judged:]]
    client_stop.set()

    # 3. A FIFO, and an ordinary message behind it.
    if not out_of_time():
        fifo = "1700000000.fifo.hostile"
        os.mkfifo(os.path.join(maildir, "tmp", fifo))
        rename_in(fifo)
        # One message in the same batch of events, one well after it, and a
        # client: all three must be answered.
        before = log.poll()
        deliver(b"From: probe@example.com\nSubject: after the fifo\n\nstill there?\n")
        time.sleep(1)
        deliver(b"From: probe@example.com\nSubject: later\n\nand now?\n")
        phase["fifo"] = log.wait_for(before + 2, 20)
        try:
            phase["fifo client"] = subprocess.run([binary, "stats"], capture_output=True,
                                                  timeout=20).returncode == 0
        except subprocess.TimeoutExpired:
            phase["fifo client"] = False
    peak_kib = vm_hwm()
finally:
    client_stop.set()
    daemon.send_signal(signal.SIGTERM)
    try:
        daemon.wait(timeout=15)
    except subprocess.TimeoutExpired:
        notes.append("the daemon did not stop within 15 s of SIGTERM; killed")
        daemon.kill()
        daemon.wait()
    client.join(timeout=130)
    log.poll()

# ------------------------------------------------------------------ the report

present = collections.Counter()
followed = False
for root, dirs, files in os.walk(maildir):
    if os.path.basename(root) not in ("new", "cur"):
        continue
    for f in files:
        path = os.path.join(root, f)
        if not os.path.isfile(path) or os.path.islink(path):
            continue
        present[f.split(":2,")[0]] += 1
        try:
            with open(path, "rb") as m:
                followed |= b"OUTSIDE-SECRET-7f3a" in m.read(4096)
        except OSError:
            pass
lost = [n for n in delivered if present[n] == 0]
duplicated = [n for n in delivered if present[n] > 1]
left_in_tmp = len(os.listdir(os.path.join(maildir, "tmp")))

print(f"messages judged: {len(log.judged_times)} (regular files delivered: {len(delivered)}; "
      f"{log.failed} more stopped by a host failure)")
if "hostile" in phase:
    n, done, took = phase["hostile"]
    print(f"  hostile set: {'all' if done else 'NOT all'} {n} judged or skipped with a log line, "
          f"in {took:.1f} s")
other = collections.Counter(re.sub(r"\d+", "N", line)[:160] for line in log.other if line.strip())
print("skipped or otherwise logged:" + ("" if other else " nothing"))
for line, count in other.most_common(20):
    print(f"  {count} x {line}")
print(f"lost: {len(lost)}" + (f" (e.g. {lost[0]})" if lost else ""))
print(f"duplicated: {len(duplicated)}" + (f" (e.g. {duplicated[0]})" if duplicated else ""))
with open(os.path.join(work, "outside-secret.txt"), "rb") as f:
    changed = f.read() != OUTSIDE
print(f"symlink to a file outside the Maildir followed into a message: {'YES' if followed else 'no'}"
      f"; the file outside {'CHANGED' if changed else 'unchanged'}")
if "fifo" in phase:
    print(f"after a FIFO: both later messages judged within 20 s: {'yes' if phase['fifo'] else 'NO'}; "
          f"'tarvex stats' answered within 20 s: {'yes' if phase.get('fifo client') else 'NO'}")
print(f"files left in tmp/: {left_in_tmp}")
print("daemon peak memory (VmHWM): " + (f"{peak_kib / 1024:.0f} MiB" if peak_kib else "unknown"))
if waits:
    print(f"client: {len(waits)} 'tarvex stats' calls, largest wait {max(waits):.2f} s, "
          f"median {sorted(waits)[len(waits) // 2]:.3f} s, failures {sum(client_failures.values())}")
    for reason, count in client_failures.most_common(5):
        print(f"  {count} x {reason}")
if flood_names:
    def rate_at(n):
        if len(flood_times) < n:
            return "not reached"
        window = min(1000, n // 2)
        recent = window / (flood_times[n - 1] - flood_times[n - 1 - window])
        return f"{recent:.0f} msg/s over the last {window}, {n / flood_times[n - 1]:.0f} msg/s since the start"
    print(f"flood: {len(flood_times)} of {len(flood_names)} judged"
          + ("" if flood_done else " (stopped waiting)"))
    for n in (5000, 20000):
        print(f"  rate at {n}: {rate_at(n)}")
for note in notes:
    print(f"note: {note}")
PY
