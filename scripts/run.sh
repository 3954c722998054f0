#!/usr/bin/env bash
# Installs what is missing, builds Tarvex and runs it on the user's default
# profile, creating the profile on the first run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DTARVEX_BENCH=OFF >/dev/null
cmake --build build --target tarvex

tarvex=build/src/cli/tarvex
config=${TARVEX_CONFIG:-${XDG_CONFIG_HOME:-$HOME/.config}/tarvex/settings.reg}
[ -e "$config" ] || "$tarvex" init
"$tarvex" stats
