#!/usr/bin/env bash
# Start-up of the desktop program: time from launch until the login window
# is on screen (mapped and viewable on a virtual X server), and the resident
# memory at that moment, against xmessage (a minimal X client) measured the
# same way in the same run. Several rounds; the median is printed.
set -euo pipefail
build=${BENCH_BUILD:?BENCH_BUILD names a configured Release build}
cmake --build "$build" --target tarvo >/dev/null
tarvo="$build/src/app/tarvo"
rounds=${ROUNDS:-7}

work=$(mktemp -d /tmp/tarvo-startup-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x800x24" bash -c '
  tarvo=$1 rounds=$2
  now() { date +%s%N; }
  # Launches "$@", waits until a window named $title is viewable; prints
  # "<seconds> <rss kB>".
  measure() {
    local title=$1; shift
    local t0=$(now)
    "$@" >/dev/null 2>&1 & local pid=$!
    until xwininfo -name "$title" 2>/dev/null | grep -q IsViewable; do
      if ! kill -0 $pid 2>/dev/null; then return; fi # did not start: not counted
      sleep 0.002
    done
    local t1=$(now)
    local rss=$(awk "/^VmRSS/ {print \$2}" /proc/$pid/status)
    kill $pid; wait $pid 2>/dev/null || true
    echo "$(( (t1 - t0) / 1000 )) $rss"
  }
  median() { sort -n | awk "{a[NR]=\$1} END {print a[int((NR+1)/2)]}"; }
  : >/tmp/tarvo-startup.$$; : >/tmp/peer-startup.$$
  for r in $(seq 1 "$rounds"); do
    measure Login "$tarvo" >>/tmp/tarvo-startup.$$
    measure xmessage xmessage -title xmessage "Tarvo start-up peer" >>/tmp/peer-startup.$$
  done
  t_us=$(cut -d" " -f1 /tmp/tarvo-startup.$$ | median)
  t_rss=$(cut -d" " -f2 /tmp/tarvo-startup.$$ | median)
  p_us=$(cut -d" " -f1 /tmp/peer-startup.$$ | median)
  p_rss=$(cut -d" " -f2 /tmp/peer-startup.$$ | median)
  rm -f /tmp/tarvo-startup.$$ /tmp/peer-startup.$$
  awk -v t="$t_us" -v p="$p_us" -v tr="$t_rss" -v pr="$p_rss" "BEGIN {
    printf \"login window on screen: tarvo %.3f s, xmessage %.3f s, ratio %.1f (goal: tarvo under 0.25 s)\n\", t/1e6, p/1e6, t/p;
    printf \"resident memory then: tarvo %.1f MB, xmessage %.1f MB, ratio %.1f (goal: tarvo under 40 MB)\n\", tr/1024, pr/1024, tr/pr }"
' startup "$tarvo" "$rounds"
