#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests offscreen, and the
# X11 and integration tests inside a private Xvfb with the openbox window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
source scripts/xsession.sh
xsession_start
trap xsession_stop EXIT
ctest --test-dir build --output-on-failure --timeout 600 "$@"
