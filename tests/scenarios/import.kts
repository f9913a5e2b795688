# The transaction import: packages written by a dBase writer of their own
# (import_package.py, python3-dbf) beside the host's own geodata and XML,
# imported through the hook and read back with dbfread and sqlite3. The
# first package's tables are named in upper case, as they come from Windows.
# A first import, the same package again (the local mark asked about and
# the package's version taken), a second transaction, a package without its
# .tid on rows another transaction holds, the round trip through the export,
# and damaged packages (geodata missing, a truncated table, a photo list of
# another shape) that leave every project file as it was. Pictures are
# written by mkjpeg (libjpeg) and compared byte by byte.
plugin VD1TransAction2010
let PKG "/usr/bin/python3 ${HERE}/import_package.py"
let IN "${TEMP}/ein"
let IN2 "${TEMP}/ein2"
let IN3 "${TEMP}/ein3"

# The geodata of the checkouts: drawn in projects of their own.
new-project ${TEMP}/zentrale
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
activate DE-4509-301
set linfos NAME "Ruhrhänge"
post linfos
select all
exec /bin/mkdir -p ${IN} ${IN2}
export-geodata ${IN}/abcdef.shp
export-xml ${IN}/abcdef.xml
exec /bin/mkdir -p ${IN3}
export-geodata ${IN3}/fremd1.shp
export-xml ${IN3}/fremd1.xml
close
new-project ${TEMP}/zentrale2
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create ND point 2575300 5695800 as ND-0042
select all
export-geodata ${IN2}/eifel1.shp
export-xml ${IN2}/eifel1.xml
close
exec ${PKG} write ${IN} ABCDEF erste
exec ${BIN}/mkjpeg ${IN}/ABCDEF_Fotos/KTFOTO1.JPG 16 12 501
exec ${PKG} write ${IN2} eifel1 zweite
exec ${PKG} write ${IN3} fremd1 fremd

# First import: the mapper picks the free identifiers' table.
new-project ${TEMP}/projekt
let DB "${PROJECT}KTProjekt.db"
answer file "${IN}/ABCDEFKL.DBF"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 2
expect exists DE-4509-301
expect exists NSG-0815
exec ${PKG} rows ${PROJECT}TA_LIST.dbf
expect output "4711|1|90001|1|DE-4509-301|IGNORED|DE-4509-301\n4711|2|90002|0|NSG-0815|IGNORED|NSG-0815\n"
exec ${PKG} rows ${PROJECT}TA_ID.dbf
expect output "4711|Ruhraue bei Hattingen's|Frau Kern\n"
exec ${PKG} rows ${PROJECT}TA_KL.dbf
expect output "4711|DE-4509-310\n4711|DE-4509-3'11\n"
exec /usr/bin/sqlite3 "${DB}" "select FotoID, Kurzname, PicFileName, IsNew, Quelle, Bildbeschreibung from Fotos"
expect output "501|Tümpel|KTFOTO1.JPG|2|Quelle Süd|Blick über den Tümpel; Straße\n"
exec /usr/bin/cmp ${PROJECT}KTPhotos/KTFOTO1.JPG ${IN}/ABCDEF_Fotos/KTFOTO1.JPG
expect output ""

# The same package again: the row marked in the project is asked about;
# with the package's version taken, the rows are back to the package's
# values (the identifier the row carried goes back to its transaction's
# pool), the objects loaded anew, nothing twice; the catalogued photo's
# picture is the package's again.
exec ${BIN}/mkjpeg ${PROJECT}KTPhotos/KTFOTO1.JPG 8 8 3
exec ${BIN}/dbsql "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;" "update TA_LIST set CHANGED = 'UPDATE', KENNUNG = 'DE-4509-399' where KENNUNGO = 'DE-4509-301'"
answer file "${IN}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnUebernehmen
run VD1CustomImport
expect form TFormLokaleArbeit
expect hook VD1CustomImport true
expect objects 2
exec ${PKG} rows ${PROJECT}TA_LIST.dbf
expect output "4711|1|90001|1|DE-4509-301|IGNORED|DE-4509-301\n4711|2|90002|0|NSG-0815|IGNORED|NSG-0815\n"
exec ${PKG} rows ${PROJECT}TA_ID.dbf
expect output "4711|Ruhraue bei Hattingen's|Frau Kern\n"
exec /usr/bin/sqlite3 "${DB}" "select count(*) from Fotos"
expect output "1\n"
exec /usr/bin/cmp ${PROJECT}KTPhotos/KTFOTO1.JPG ${IN}/ABCDEF_Fotos/KTFOTO1.JPG
expect output ""

# A second transaction beside the first.
answer file "${IN2}/eifel1t.dbf"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 3
exec ${PKG} rows ${PROJECT}TA_ID.dbf
expect output "4711|Ruhraue bei Hattingen's|Frau Kern\n4712|Eifelwiesen|Herr Busch\n"
exec ${PKG} rows ${PROJECT}TA_KL.dbf
expect output "4711|DE-4509-310\n4711|DE-4509-3'11\n4711|DE-4509-399\n4712|ND-0051\n"

# A package of 4713 without its .tid, on rows held by 4711: told, and the
# rest comes in. 4711 keeps DE-4509-301 (held for writing), NSG-0815 goes
# over to 4713 (read-only in 4711); DE-4509-310 stays in 4711's pool.
answer file "${IN3}/FREMD1.XML"
answer message OK "Die Transaktions-ID wurde nicht korrekt übermittelt!"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 3
exec ${PKG} rows ${PROJECT}TA_LIST.dbf
expect output "4711|1|90001|1|DE-4509-301|IGNORED|DE-4509-301\n4713|2|90012|1|NSG-0815|IGNORED|NSG-0815\n4712|3|90003|1|ND-0042|IGNORED|ND-0042\n"
exec ${PKG} rows ${PROJECT}TA_KL.dbf
expect output "4711|DE-4509-310\n4711|DE-4509-3'11\n4711|DE-4509-399\n4712|ND-0051\n4713|ND-0060\n"

# The round trip: edited as a mapper, exported, and the exported package
# imported into a fresh project. An export carries no transaction list: its
# objects would come in outside every transaction, and it is refused. With
# the list the central system gives it when it checks the objects out
# again, the objects and photos agree with what went out.
activate DE-4509-301
set linfos NAME "Ruhrhänge Nord"
post linfos
exec /usr/bin/sqlite3 "${DB}" "insert into Fotos (FotoID, Kurzname, RW, HW, Blickrichtung, Aufnahmedatum, Quelle, IsNew, PicFileName, Bildbeschreibung) values (-1, 'Hecke', 2575100, 5695100, 180, '2026-06-05', 'eigene ''Aufnahme''', 3, 'KTFoto1.jpg', 'am Weg')"
exec ${BIN}/mkjpeg ${PROJECT}KTPhotos/KTFoto1.jpg 16 16 4
exec /bin/cp ${PROJECT}KTPhotos/KTFoto1.jpg ${TEMP}/eigen.jpg
append Objektphotos
set Objektphotos PhotoID -1
post Objektphotos
config Config Bundesland NRW
exec /bin/mkdir -p ${TEMP}/aus
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen's"
answer click BtnOK
answer file "${TEMP}/aus/rundre"
run VD1CustomExport
expect hook VD1CustomExport true
close
new-project ${TEMP}/frisch
answer file "${TEMP}/aus/rundre.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rDas Transaktionspaket ist unvollständig:\rDie Transaktionsliste ${TEMP}/aus/rundret.dbf fehlt; die Objekte der Geo- und Attributdaten kämen außerhalb jeder Transaktion ins Projekt."
run VD1CustomImport
expect hook VD1CustomImport false
expect objects 0
exec ${PKG} list ${TEMP}/aus rundre rundreise
answer file "${TEMP}/aus/rundre.tid"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 1
expect exists DE-4509-301
activate DE-4509-301
expect value linfos NAME "Ruhrhänge Nord"
expect geometry DE-4509-301 2575000 5695000 2575000 5695400 2575600 5695400 2575600 5695000
exec ${PKG} rows ${PROJECT}TA_LIST.dbf
expect output "4711|1|90001|1|DE-4509-301|IGNORED|DE-4509-301\n"
exec ${PKG} rows ${PROJECT}TA_ID.dbf
expect output "4711|unbekannt|unbekannt\n"
exec /usr/bin/sqlite3 "${PROJECT}KTProjekt.db" "select FotoID, Kurzname, RW, HW, Blickrichtung, Aufnahmedatum, Quelle, IsNew, PicFileName, Bildbeschreibung from Fotos"
expect output "-1|Hecke|2575100|5695100|180|2026-06-05|eigene 'Aufnahme'|2|KTFoto1.jpg|am Weg\n"
exec /usr/bin/cmp ${PROJECT}KTPhotos/KTFoto1.jpg ${TEMP}/eigen.jpg
expect output ""
close
open ${TEMP}/projekt

# Damaged packages: nothing of the project changes. First the geodata gone.
exec /bin/sh -c "cd '${PROJECT}' && find . -type f | sort | xargs md5sum > '${TEMP}/vorher'"
exec /bin/rm ${IN}/abcdef.shp
answer file "${IN}/abcdef.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rDie Geodaten des Transaktionspakets fehlen:\r${IN}/abcdef.shp"
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "cd '${PROJECT}' && find . -type f | sort | xargs md5sum | cmp - '${TEMP}/vorher' && echo gleich"
expect output "gleich\n"

# A truncated transaction list, and a photo list of another shape.
exec /usr/bin/truncate -s -20 ${IN2}/eifel1t.dbf
answer file "${IN2}/eifel1.tid"
answer message OK
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "cd '${PROJECT}' && find . -type f | sort | xargs md5sum | cmp - '${TEMP}/vorher' && echo gleich"
expect output "gleich\n"
exec ${PKG} badphotos ${IN3} fremd1
answer file "${IN3}/fremd1.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rDie Datei ${IN3}/fremd1pc.dbf kann nicht gelesen werden:\rDie Fotoliste ${IN3}/fremd1pc.dbf hat nicht die erwarteten Spalten (PhotoID, Kurzname, Datei, RW, HW, Richtung, Datum, Quelle, Beschr)."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "cd '${PROJECT}' && find . -type f | sort | xargs md5sum | cmp - '${TEMP}/vorher' && echo gleich"
expect output "gleich\n"
close
