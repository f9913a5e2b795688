# The preflight on damaged and missing parts of a project: each is told in
# German, naming its file, and the rest of the check still runs; nothing
# crashes and nothing is changed.
plugin VD1TransAction2010
include lib/preflight_checkout.kts
let T "${TEMP}/transcript.txt"
let SQL /usr/bin/sqlite3

# Photos with odd names: a path out of the folder, none at all, characters
# a file system may refuse. None is looked for outside KTPhotos.
exec ${SQL} "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'Pfad', 3, '../KTProjekt.db')"
exec ${SQL} "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-2, 'Leer', 3, '')"
exec ${SQL} "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-3, 'Zeichen', 3, 'a\"b<>|*.jpg')"
exec ${SQL} "${DB}" "insert into Objektphotos (KARTULID, PhotoID) select ID, FotoID from KT_OBJEKTE, Fotos where KENNUNG = 'DE-4509-301'"
# A fingerprint table that is no dBase table, and no free identifiers.
exec /bin/sh -c "printf 'kaputt' > '${PROJECT}TA_FP.dbf'"
exec /bin/rm ${PROJECT}TA_KL.dbf
answer form TFormVorpruefung
answer click BtnAbbrechen
run VD1Vorpruefung
expect hook VD1Vorpruefung true
expect file ${T} contains "Fotodatei fehlt: Foto -1 \\\"Pfad\\\": die Datei \\\"../KTProjekt.db\\\" fehlt im Ordner KTPhotos (verknüpft mit DE-4509-301)"
expect file ${T} contains "Fotodatei fehlt: Foto -2 \\\"Leer\\\": der Fotokatalog nennt keine Datei (verknüpft mit DE-4509-301)"
expect file ${T} contains "Fotodatei fehlt: Foto -3 \\\"Zeichen\\\": die Datei \\\"a\\\"b<>|*.jpg\\\" fehlt im Ordner KTPhotos"
expect file ${T} contains "Hinweis: Die Liste der freien Kennungen ${PROJECT}TA_KL.dbf fehlt."
expect file ${T} contains "Hinweis: Die Tabelle der Fingerabdrücke ${PROJECT}TA_FP.dbf kann nicht gelesen werden:"
expect file ${T} contains "Änderungen ohne Markierung werden nicht geprüft."
expect file ${PROJECT}TA_FP.dbf contains "kaputt"

# Inside the export the same findings come first; the mapper stops.
answer message Yes
answer form TFormVorpruefung
answer click BtnAbbrechen
run VD1CustomExport
expect hook VD1CustomExport false

# Without the transaction names there is no transaction to check.
exec /bin/rm ${PROJECT}TA_ID.dbf
answer message OK "Es konnte keine Transaktionsnummer ermittelt werden!"
run VD1Vorpruefung
expect hook VD1Vorpruefung false
# Without a transaction list there is nothing to check.
exec /bin/rm ${PROJECT}TA_LIST.dbf
answer message OK "Das Projekt enthält keine Transaktionsdaten. Daher kann keine Vorprüfung durchgeführt werden!"
run VD1Vorpruefung
expect hook VD1Vorpruefung false
