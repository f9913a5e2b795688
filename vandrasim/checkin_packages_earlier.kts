# A package of the earlier build VD1TransAction (its action table made
# under the full name, its own XML export) passes checkin as the full
# build's does.
plugin VD1TransAction
include ../tests/scenarios/lib/checkout.kts
let OUT "${TEMP}/aus"
exec /bin/mkdir -p ${OUT}

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
answer file "${OUT}/alt"
run VD1CustomExport
expect hook VD1CustomExport true
expect file ${OUT}/alt_aktion.dbf exists
exec /usr/bin/python3 ${HERE}/checkin_packages.py ${BIN} ${OUT} alt --clean
