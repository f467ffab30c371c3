#!/usr/bin/env bash
# Starts the real program on a virtual X display and waits for its login
# window to appear; the program is ended afterwards.
set -euo pipefail
tarvo=${1:?usage: xvfb-startup.sh <path-to-tarvo>}
work=$(mktemp -d /tmp/tarvo-xvfb-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x800x24" bash -c '
  "$0" & pid=$!
  for i in $(seq 1 200); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Login\": (\"tarvo\""; then
      echo "login window is up"
      kill $pid; wait $pid 2>/dev/null || true
      exit 0
    fi
    if ! kill -0 $pid 2>/dev/null; then echo "tarvo ended before its login window appeared"; exit 1; fi
    sleep 0.05
  done
  echo "no login window after 10 s"; xwininfo -root -tree; kill $pid; exit 1
' "$tarvo"
