# Sourced by the scripts that need a Tarvex profile of their own, after they
# set $build: makes a temporary home (removed at exit), points the profile's
# environment into it and creates the profile and its Maildir ($MAILDIR).
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" MAILDIR="$home/Maildir" TARVEX_CONFIG="$home/settings.reg"
export XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
export XDG_STATE_HOME="$home/.local/state" XDG_RUNTIME_DIR="$home/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$build/src/cli/tarvex" init >/dev/null
