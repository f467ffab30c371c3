#!/usr/bin/env bash
# bench/run group-edit: CLdapSource changing one member of a group of
# 100,000 members (as the attribute pane does) against "ldapmodify" sending
# the same delete and add to the same private server.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_group_edit >/dev/null
"$BENCH_BUILD/bench/group-edit/tarvo_bench_group_edit" "$@"
