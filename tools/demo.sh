#!/usr/bin/env bash
# A walk through the factory settings with vantrelctl, in plain words.
#   tools/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ctl="$build/tools/vantrelctl"
factory=resources/DefaultSettings.plist

say() { printf '\n== %s\n' "$*"; }

say "The supported models: the maker's vendor id, the seven product ids (entries 1 to 7)
   and the model names the preferences panel shows for entries 1 to 6."
"$ctl" models

say "Is the factory settings file usable? Both programs must accept it, and every profile
   must be complete."
"$ctl" check "$factory"

vendor=$("$ctl" models | sed -n 's/.*"vendor":\([0-9]*\).*/\1/p')
products=$("$ctl" models | sed -n 's/.*"products":\[\([0-9,]*\)\].*/\1/p')
IFS=, read -r p1 p2 p3 p4 p5 p6 p7 <<<"$products"

say "Which profile does a Dev1 get while a mail program is in front? There is no profile for
   that program, so the Dev1 'All Applications' profile (index 0) is both best and global."
"$ctl" match --settings "$factory" --vendor "$vendor" --product "$p1" --release 0x0100 \
  --bundle-id com.example.mail --executable Mail

say "The same product id is Dev2 from firmware 1.07 and Dev3 below: release 1.06 picks the
   Dev3 profile (index 2), release 1.07 the Dev2 profile (index 1)."
"$ctl" match --settings "$factory" --vendor "$vendor" --product "$p2" --release 0x0106
"$ctl" match --settings "$factory" --vendor "$vendor" --product "$p2" --release 0x0107

say "The 176 bytes a Dev4 receives (two buttons and a chord, no scroll ring): speed byte 20
   (400 dpi), acceleration 100 (factor 1.0), three button slots."
"$ctl" record --settings "$factory" --vendor "$vendor" --product "$p3" --release 0x0100

say "Dev7 also enumerates under a second product id; it gets the same profile (index 6)
   with four buttons, two chords and the scroll ring (command 20, amount 3)."
"$ctl" record --settings "$factory" --vendor "$vendor" --product "$p7" --release 0x0200

say "A device of another maker matches no factory profile: nothing is sent to it."
"$ctl" match --settings "$factory" --vendor 0x1234 --product 0x5678 --release 0x0100
