#!/bin/sh
# A hand-over that loses the package's pictures on the way: it empties the
# package's photo folder, then starts the real check-in program (the link
# "echt" beside it) with the same arguments.
for a in "$@"; do
  case $prev in
    -d) d=$a ;;
    -n) n=$a ;;
  esac
  prev=$a
done
rm -f "$d/${n}_Fotos"/*
exec "$(dirname "$0")/echt" "$@"
