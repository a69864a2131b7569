#!/usr/bin/env bash
# Installs what is missing, builds, and starts the dock on the current X display. With
# no display it starts a private Xvfb with openbox and a few X clients, runs the dock
# there, saves a screenshot and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh quayside

if [ -n "${DISPLAY:-}" ]; then
  exec ./build/quayside
fi

source scripts/xsession.sh
xsession_start
trap 'kill "${clients[@]}" "${dock:-}" 2>/dev/null || true; xsession_stop' EXIT
clients=()
xterm -geometry 80x24+40+40 & clients+=($!)
xeyes -geometry 150x100+700+60 & clients+=($!)
xclock -geometry 150x150+900+60 & clients+=($!)
./build/quayside & dock=$!
sleep 4
shot="$(pwd)/build/quayside-screenshot.png"
import -window root "$shot"
echo "Screenshot of the dock on ${DISPLAY}: $shot"
kill -TERM "$dock"
wait "$dock" || true
