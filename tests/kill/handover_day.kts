# The day whose packages the hand-over kill runs export, on the checkout of
# ../scenarios/lib/checkout.kts: the checked-out FFH area is changed and
# shows 150 photos of 40 kB, and a new NSG area is drawn; then the package
# of 4711 is exported into ${ALT}. Afterwards the area is changed again and
# a new FFH area with 60 photos more is drawn, so that the next package
# differs from the first in every table and in its photo folder.
let DB "${PROJECT}KTProjekt.db"
exec /bin/sh -c "i=1; while [ $i -le 210 ]; do head -c 40000 /dev/urandom > '${PROJECT}KTPhotos/KTFoto'$i.jpg; i=$((i + 1)); done"
exec /bin/sh -c "i=1; while [ $i -le 210 ]; do echo \"insert into Fotos (FotoID, Kurzname, IsNew, PicFileName, Quelle) values (-$i, 'Foto $i', 3, 'KTFoto$i.jpg', 'eigene');\"; i=$((i + 1)); done | /usr/bin/sqlite3 '${DB}'"
exec /bin/sh -c "i=1; while [ $i -le 150 ]; do echo \"insert into Objektphotos (KARTULID, PhotoID) values (1, -$i);\"; i=$((i + 1)); done | /usr/bin/sqlite3 '${DB}'"

activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
answer form TFormGetTIDAndKennung
answer select lbKennungen "NSG-0816"
answer click BtnOK
create NSG area 2575100 5695100 2575200 5695100 2575200 5695200

answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${ALT}/PAKET"
run VD1CustomExport
expect hook VD1CustomExport true
expect file "${ALT}/PAKET.tid" exists

activate DE-4509-301
set linfos NAME "Ruhrhänge Nord"
post linfos
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
exec /bin/sh -c "i=151; while [ $i -le 210 ]; do echo \"insert into Objektphotos (KARTULID, PhotoID) values (5, -$i);\"; i=$((i + 1)); done | /usr/bin/sqlite3 '${DB}'"
