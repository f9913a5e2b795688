# The preflight of a transaction (menu command VD1Vorpruefung, and inside
# the export when applicat.ini [VANDRA] Vorpruefung=1): each kind of
# finding caused, its objects selected from the list, then mended, after
# which the same check finds nothing. Edits the plug-in never hears of are
# made with the host's hooks unbound, as edits made while the plug-in was
# not loaded would be.
plugin VD1TransAction2010
include lib/preflight_checkout.kts
let T "${TEMP}/transcript.txt"
let SQL /usr/bin/sqlite3

# The import stored a fingerprint per object of the package.
exec ${BIN}/dbsql "${TA}" "select TID, KENNUNG, length(GEOMETRIE), length(ATTRIBUTE) from TA_FP order by KENNUNG"
expect output "4711\tDE-4509-301\t16\t16\n4711\tNSG-0815\t16\t16\n"
# Imported again, the package's fingerprints are replaced, not added to.
answer file "${TEMP}/ruhr/RUHR47.tid"
run VD1CustomImport
expect hook VD1CustomImport true
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_FP"
expect output "2\n"

# A clean checkout: nothing found.
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung
expect hook VD1Vorpruefung true
expect selection none

# ---- An attribute change without a mark --------------------------------------
bind table-posted -
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
bind table-posted OnTablePost
exec ${BIN}/dbsql "${TA}" "select CHANGED from TA_LIST where KENNUNG = 'DE-4509-301'"
expect output "IGNORED\n"
answer form TFormVorpruefung
answer select lbBefunde #0
answer click BtnAuswahl
answer click BtnAbbrechen
run VD1Vorpruefung
expect form TFormVorpruefung
expect file ${T} contains "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat 1 Befund ergeben:"
expect file ${T} contains "Änderung ohne Markierung: DE-4509-301 (schreibend): Sachdaten seit dem Import geändert, aber als \\\"IGNORED\\\" markiert"
expect selection DE-4509-301
# The same change marked: nothing to find.
set linfos NAME "Ruhrhänge"
post linfos
exec ${BIN}/dbsql "${TA}" "select CHANGED from TA_LIST where KENNUNG = 'DE-4509-301'"
expect output "UPDATE\n"
deselect all
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung
expect selection none

# ---- A geometry change of a read-only object without a mark -------------------
bind geometry-changing -
bind geometry-changed -
move NSG-0815 2 2576600 5695000
bind geometry-changing CheckStatus
bind geometry-changed GeometryChanged
answer form TFormVorpruefung
answer click BtnAlle
answer close
run VD1Vorpruefung
expect file ${T} contains "Änderung ohne Markierung: NSG-0815 (lesend): Geometrie seit dem Import geändert, aber als \\\"IGNORED\\\" markiert"
expect selection NSG-0815
# Put back where it was, the fingerprint agrees again.
bind geometry-changing -
bind geometry-changed -
move NSG-0815 2 2576500 5695000
bind geometry-changing CheckStatus
bind geometry-changed GeometryChanged
deselect all
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung

# ---- Objects the transaction list does not know --------------------------------
# An FFH object (a class of the transaction) and a BIO object (no object of
# the transaction, no free identifier with its prefix) drawn unseen by the
# plug-in: only the FFH object needs a row.
bind before-create-object -
bind object-created -
create FFH area 2577000 5695000 2577100 5695000 2577100 5695100 as DE-9999-001
create BIO area 2578000 5695000 2578100 5695000 2578100 5695100 as BIO-1
bind before-create-object BeforeCreateObject
bind object-created InsertInTransActionList
deselect all
answer form TFormVorpruefung
answer select lbBefunde #0
answer click BtnAuswahl
answer click BtnAbbrechen
run VD1Vorpruefung
expect file ${T} contains "Nicht in der Transaktionsliste: DE-9999-001 (FFH): in keiner Transaktion"
exec /bin/sh -c "! grep -q 'BIO-1 (BIO)' '${T}'"
expect selection DE-9999-001
# Entered in the transaction as a new object, it is listed.
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO) values (4711,0,-1,2,'DE-9999-001','NEW','DE-9999-001')"
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung

# ---- A row whose object is gone ---------------------------------------------
bind object-deleting -
delete BIO-1
delete NSG-0815
bind object-deleting DeleteFromTransActionList
deselect all
answer form TFormVorpruefung
answer click BtnAbbrechen
run VD1Vorpruefung
expect file ${T} contains "Objekt fehlt: NSG-0815 (lesend): in der Transaktionsliste, aber nicht mehr im Projekt"
expect selection none
# The row taken out as the central system would: nothing to find.
exec ${BIN}/dbsql "${TA}" "delete from TA_LIST where KENNUNG = 'NSG-0815'"
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung

# ---- An identifier listed and free at once --------------------------------------
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'DE-4509-301')"
answer form TFormVorpruefung
answer select lbBefunde #0
answer click BtnAuswahl
answer click BtnAbbrechen
run VD1Vorpruefung
expect file ${T} contains "Kennung gelistet und frei: DE-4509-301: in der Transaktionsliste (TID 4711) und zugleich frei (TID 4711)"
expect selection DE-4509-301
exec ${BIN}/dbsql "${TA}" "delete from TA_KL where KENNUNG = 'DE-4509-301'"
deselect all
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung

# ---- Photos ---------------------------------------------------------------------
# A local photo whose picture is missing, a photo of the catalogue that no
# link points to, and a link to a photo the catalogue lacks.
exec ${SQL} "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'Tümpel', 3, 'KTFoto1.jpg')"
exec ${SQL} "${DB}" "insert into Objektphotos (KARTULID, PhotoID) select ID, -1 from KT_OBJEKTE where KENNUNG = 'DE-4509-301'"
exec ${SQL} "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (502, 'Allein', 2, 'KTFOTO2.JPG')"
exec ${SQL} "${DB}" "insert into Objektphotos (KARTULID, PhotoID) select ID, 999 from KT_OBJEKTE where KENNUNG = 'DE-9999-001'"
answer form TFormVorpruefung
answer select lbBefunde #2
answer click BtnAuswahl
answer click BtnAbbrechen
run VD1Vorpruefung
expect file ${T} contains "hat 3 Befunde ergeben:"
expect file ${T} contains "Fotodatei fehlt: Foto -1 \\\"Tümpel\\\": die Datei \\\"KTFoto1.jpg\\\" fehlt im Ordner KTPhotos (verknüpft mit DE-4509-301)"
expect file ${T} contains "Foto ohne Verknüpfung: Foto 502 \\\"Allein\\\" (\\\"KTFOTO2.JPG\\\") ist mit keinem Objekt verknüpft"
expect file ${T} contains "Verknüpfung ohne Foto: DE-9999-001: verknüpft mit Foto 999, das im Fotokatalog fehlt"
expect selection DE-9999-001
# The picture in place (found in another letter case), the photo linked,
# the missing photo catalogued: nothing to find.
exec ${BIN}/mkjpeg ${PROJECT}KTPhotos/ktfoto1.JPG 8 8 1
exec ${SQL} "${DB}" "insert into Objektphotos (KARTULID, PhotoID) select ID, 502 from KT_OBJEKTE where KENNUNG = 'DE-9999-001'"
exec ${SQL} "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (999, 'Nachgetragen', 2, 'KTFOTO9.JPG')"
deselect all
answer message OK "Die Vorprüfung der Transaktion 4711 - Ruhraue bei Hattingen hat keine Befunde ergeben."
run VD1Vorpruefung

# ---- Inside the export ------------------------------------------------------------
exec /bin/mkdir -p ${TEMP}/aus
exec ${SQL} "${DB}" "delete from Fotos where FotoID = 999"
# Stopped at the findings: nothing is written.
answer message Yes
answer form TFormVorpruefung
answer click BtnAbbrechen
run VD1CustomExport
expect hook VD1CustomExport false
expect file ${TEMP}/aus/paket_rp.txt missing
# Gone on with: the export as always.
answer message Yes
answer form TFormVorpruefung
answer click BtnWeiter
answer file "${TEMP}/aus/paket"
run VD1CustomExport
expect hook VD1CustomExport true
expect file ${TEMP}/aus/paket_rp.txt exists
# Nothing found: the export shows no list.
exec ${SQL} "${DB}" "delete from Objektphotos where PhotoID = 999"
answer message Yes
answer file "${TEMP}/aus/paket2"
run VD1CustomExport
expect hook VD1CustomExport true
expect file ${TEMP}/aus/paket2_rp.txt exists
# Turned off, the export does not look, whatever there is.
exec ${SQL} "${DB}" "insert into Objektphotos (KARTULID, PhotoID) select ID, 999 from KT_OBJEKTE where KENNUNG = 'DE-9999-001'"
config VANDRA Vorpruefung 0
answer message Yes
answer file "${TEMP}/aus/paket3"
run VD1CustomExport
expect hook VD1CustomExport true
# The preflight leaves no folder of its own behind in the project.
exec /bin/sh -c "! ls -a '${PROJECT}' | grep -q vorpruefung"

# An object the host holds without a shape (loaded from attributes alone)
# is one of its objects all the same: the geodata export leaves it out, the
# attribute export does not.
exec /bin/sh -c "printf '<KartulDaten Tabelle=\"linfos\"><Objekt Kennung=\"DE-9999-002\" Klasse=\"1002\" Typ=\"3\"></Objekt></KartulDaten>' > '${TEMP}/ohne.xml'"
import-xml ${TEMP}/ohne.xml create
expect exists DE-9999-002
answer form TFormVorpruefung
answer click BtnAbbrechen
run VD1Vorpruefung
expect file ${T} contains "Nicht in der Transaktionsliste: DE-9999-002 (FFH): in keiner Transaktion"
