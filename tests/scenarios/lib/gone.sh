#!/bin/sh
# Fails unless the file names processes and each has ended within 5 s (a
# process that ended but was not yet collected counts as ended).
[ -s "$1" ] || { echo "$1 names no processes" >&2; exit 1; }
for pid in $(cat "$1"); do
  i=0
  while [ -d "/proc/$pid" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" 2>/dev/null; do
    i=$((i + 1))
    if [ "$i" -gt 100 ]; then echo "process $pid still runs" >&2; exit 1; fi
    sleep 0.05
  done
done
