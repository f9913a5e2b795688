# A package as the export writes it, for checkin to check: a mapper's day on
# transaction 4711 (a changed object with photos, a new one, a deleted one,
# an identifier switched and given again), exported into ${TEMP}/aus; then
# checkin_packages.py runs checkin on it and on damaged copies of it and
# reads each log back.
plugin VD1TransAction2010
include ../tests/scenarios/lib/checkout.kts
let DB "${PROJECT}KTProjekt.db"
let OUT "${TEMP}/aus"
exec /bin/mkdir -p ${OUT}

bind before-create-object -
bind object-created -
create FFH area 2577000 5695000 2577300 5695000 2577300 5695300 as DE-4509-302
create FFH area 2578000 5695000 2578300 5695000 2578300 5695300 as DE-4509-303
create FFH line 2579000 5695000 2579300 5695000 as DE-4509-304
hooks VD1TransAction2010
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,4,90004,1,'DE-4509-302','DE-4509-302','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,5,90005,1,'DE-4509-303','DE-4509-303','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,6,90006,1,'DE-4509-304','DE-4509-304','IGNORED')"

exec /usr/bin/sqlite3 "${DB}" "insert into Fotos (FotoID, Kurzname, RW, HW, Blickrichtung, Aufnahmedatum, Quelle, IsNew, PicFileName, Bildbeschreibung) values (-1, 'Tümpel', 2575300, 5695200, 45, '2026-06-05', 'eigene Aufnahme', 3, 'KTFoto1.jpg', 'Blick über den Tümpel'), (-2, 'Hecke', null, null, null, null, null, 3, 'KTFoto2.jpg', null)"
exec /bin/sh -c "for f in KTFoto1 KTFoto2; do printf 'JPEG %s' $f > '${PROJECT}KTPhotos/'$f.jpg; done"

activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
append Objektphotos
set Objektphotos PhotoID -1
post Objektphotos
answer form TFormGetTIDAndKennung
answer select lbKennungen "NSG-0816"
answer click BtnOK
create NSG area 2575100 5695100 2575200 5695100 2575200 5695200
append Objektphotos
set Objektphotos PhotoID -2
post Objektphotos
delete DE-4509-302
move DE-4509-304 1 2579400 5695100
activate DE-4509-303
answer form TformGetKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
run SwitchKennung
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
answer form TformGetKennung
answer select lbKennungen "DE-4509-303"
answer click BtnOK
run SwitchKennung

answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/VANDRA"
run VD1CustomExport
expect hook VD1CustomExport true
expect file ${OUT}/VANDRA_aktion.dbf exists
expect file ${OUT}/VANDRA_lin.shp exists
exec /usr/bin/python3 ${HERE}/checkin_packages.py ${BIN} ${OUT} VANDRA

# A transaction of read-only rows only: empty tables, no objects, no
# photos; nothing to find.
bind before-create-object -
bind object-created -
create NSG area 2579000 5695000 2579300 5695000 2579300 5695300 as NSG-0900
hooks VD1TransAction2010
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4713,'Nur lesend','Frau Kern')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4713,9,90009,0,'NSG-0900','NSG-0900','IGNORED')"
exec /bin/mkdir -p ${TEMP}/lesend
answer message Yes
answer form TFormGetTID
answer select lbTID "4713 - Nur lesend"
answer click BtnOK
answer file "${TEMP}/lesend/lesend"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_packages.py ${BIN} ${TEMP}/lesend lesend --clean
