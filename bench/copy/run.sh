#!/usr/bin/env bash
# bench/run copy: a 10,000-entry subtree read from one private slapd and
# pasted into another through the copy and paste core (the subtree reader,
# the paste engine, the LDAP source's entry writer), against
# "ldapsearch -LLL ... | ldapadd" between two other servers in the same run.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_copy >/dev/null
"$BENCH_BUILD/bench/copy/tarvo_bench_copy" "$@"
