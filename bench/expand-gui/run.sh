#!/usr/bin/env bash
# bench/run expand-gui: the tree pane expanding 20,000 children of a private
# slapd (offscreen Qt) against "ldapsearch -x -s one -A" on the same entry.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_expand_gui >/dev/null
QT_QPA_PLATFORM=offscreen "$BENCH_BUILD/bench/expand-gui/tarvo_bench_expand_gui" "$@"
