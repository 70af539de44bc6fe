#!/bin/sh
# Concurrent first use of new homes: PROCESSES `tavikctl` started at once on each of HOMES fresh
# homes (scratch folders of its own, removed afterwards); counts the starts that failed and those
# that failed with "locked".
# Usage: bench/first_use_race.sh [TAVIKCTL] [HOMES] [PROCESSES]   (defaults: build/host/bin/tavikctl 40 9)
tavikctl=${1:-build/host/bin/tavikctl}
homes=${2:-40}
processes=${3:-9}
scratch=$(mktemp -d /tmp/tavik-first-use-XXXXXX) || exit 1
trap 'rm -rf "$scratch"' EXIT
h=0
while [ "$h" -lt "$homes" ]; do
    p=0
    while [ "$p" -lt "$processes" ]; do
        (TAVIK_HOME="$scratch/home$h" "$tavikctl" sim get driver.versions.fpga >"$scratch/out$h.$p" 2>&1
         echo $? >"$scratch/status$h.$p") &
        p=$((p + 1))
    done
    wait
    h=$((h + 1))
done
starts=$((homes * processes))
failed=$(cat "$scratch"/status* | grep -cv '^0$')
locked=$(cat "$scratch"/out* | grep -c 'locked')
echo "$homes homes x $processes processes: $starts starts, $failed failed, $locked with \"locked\""
[ "$failed" -eq 0 ]
