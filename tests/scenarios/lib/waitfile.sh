#!/bin/sh
# Waits until the file exists and is not empty (a program started without
# waiting writes it); fails after 20 s.
i=0
while [ ! -s "$1" ]; do
  i=$((i + 1))
  if [ "$i" -gt 400 ]; then echo "$1 was not written" >&2; exit 1; fi
  sleep 0.05
done
