#!/usr/bin/env bash
# Renders the desktop mail window, its menu and every dialog off screen into
# PNG files, over a sample profile made for the purpose in a temporary home.
#
#   tools/screenshots.sh [build folder] [output folder]
#
# The defaults are build/ and doc/screenshots/, which the README shows.
set -euo pipefail

build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-doc/screenshots}")
tarvex="$build/src/cli/tarvex"
desktop="$build/src/desktop/tarvex-desktop"
source "$(dirname "$0")/temp-profile.sh"
mkdir -p "$MAILDIR/.Work/"{cur,new,tmp} "$MAILDIR/.Family/"{cur,new,tmp}
"$tarvex" blacklist add offers@bulk.example >/dev/null
"$tarvex" blacklist add --domain promo.example >/dev/null
"$tarvex" whitelist add boss@work.example >/dev/null
"$tarvex" whitelist add --domain family.example >/dev/null

# A few messages already read and a few new ones, which the window judges
# when it starts.
message() {  # folder name date from subject body
  printf 'From: %s\nTo: me@home.example\nSubject: %s\nDate: %s\nMessage-ID: <%s@sample>\n\n%s\n' \
    "$4" "$5" "$3" "$2" "$6" >"$MAILDIR/$1/$2"
}
message cur "1700000001.a:2,S" "Mon, 13 Nov 2023 09:12:00 +0000" \
  "Ann Lee <ann@family.example>" "Sunday lunch" "Shall we meet at noon on Sunday?"
message cur "1700000002.b:2,S" "Mon, 13 Nov 2023 11:40:00 +0000" \
  "The Boss <boss@work.example>" "Quarterly report" "Please send the figures by Friday."
message new "1700000003.c" "Tue, 14 Nov 2023 08:05:00 +0000" \
  "Bulk Offers <offers@bulk.example>" "You have WON a prize" "Claim your prize now, click here."
message new "1700000004.d" "Tue, 14 Nov 2023 10:30:00 +0000" \
  "Tom Weber <tom@friends.example>" "Photos from the trip" "Here are the photos from last week."
message .Work/cur "1700000005.e:2,S" "Wed, 15 Nov 2023 14:00:00 +0000" \
  "Carla <carla@work.example>" "Meeting notes" "Notes from today's meeting are attached."

mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$desktop" --screenshots "$out"
ls "$out"
