#!/usr/bin/env bash
# Installs what is missing, builds Tarvex and runs its daemon on the user's
# default profile and Maildir ($MAILDIR, else ~/Maildir), creating both on
# the first run. The daemon runs in the foreground until Ctrl-C; when one
# runs already, this says so and leaves it be.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DTARVEX_BENCH=OFF >/dev/null
cmake --build build --target tarvex

tarvex=build/src/cli/tarvex
config=${TARVEX_CONFIG:-${XDG_CONFIG_HOME:-$HOME/.config}/tarvex/settings.reg}
[ -e "$config" ] || "$tarvex" init
if ! flock -n "$config.lock" true; then
  echo "A Tarvex daemon runs on $config already; 'tarvex stats' talks to it."
  "$tarvex" stats
  exit 0
fi
"$tarvex" stats
exec "$tarvex" run
