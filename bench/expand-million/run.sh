#!/usr/bin/env bash
# bench/run expand-million: a level of 1,000,000 children (slapadd -q),
# browsed as the administrator by the core and by the real tree pane, each
# against "ldapsearch -x -s one -A -E pr=1000/noprompt" to /dev/null in the
# same run. Takes minutes.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
children=${1:-1000000}
cmake --build "$BENCH_BUILD" --target tarvo_bench_expand tarvo_bench_expand_gui >/dev/null
"$BENCH_BUILD/bench/expand/tarvo_bench_expand" "$children" 1 million | grep -E '^expand-million|^expand [0-9]|^memory'
QT_QPA_PLATFORM=offscreen "$BENCH_BUILD/bench/expand-gui/tarvo_bench_expand_gui" "$children" 1 million |
  grep -E '^expand-million|^expand-gui [0-9]|^first'
