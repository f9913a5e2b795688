#!/bin/sh
# A hand-over that loses part of the package on the way, then starts the
# real check-in program (the link "echt" beside it) with the same
# arguments. What is lost stands in the file "verliert" beside it: "fotos"
# (the photo folder's pictures, the default), or "xml" and identifiers (the
# objects of those identifiers, taken out of the attribute file).
here=$(dirname "$0")
lost=fotos
[ -f "$here/verliert" ] && read -r lost objects < "$here/verliert"
for a in "$@"; do
  case $prev in
    -d) d=$a ;;
    -n) n=$a ;;
  esac
  prev=$a
done
case $lost in
  fotos) rm -f "$d/${n}_Fotos"/* ;;
  xml)
    for k in $objects; do
      sed -i "/<Objekt Kennung=\"$k\"/,/<\/Objekt>/d" "$d/$n.xml"
    done
    ;;
esac
exec "$here/echt" "$@"
