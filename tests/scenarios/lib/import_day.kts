# A mapper's day between two imports of one transaction, for the build in
# ${BUILD} (the including scenario sets it): the package of 4711 imported,
# an object edited and moved, a local photo linked and a plant list written
# to the read-only one, a new object drawn; then the next issue of the
# package imported with each answer to the question about local work,
# another transaction's package naming the new object, a package picture
# whose name a local photo uses, and damaged packages. What the project
# holds is read with readers of their own (project_state.py: sqlite3,
# dbfread, checksums) and compared line by line.
plugin ${BUILD}
let PKG "/usr/bin/python3 ${HERE}/import_package.py"
let STATE "/usr/bin/python3 ${HERE}/project_state.py"
let IN "${TEMP}/erste"
let IN2 "${TEMP}/zweite"
let IN3 "${TEMP}/nachbar"
let IN4 "${TEMP}/fotos"

# The central system's geodata, drawn without the plug-in's chooser.
new-project ${TEMP}/zentrale
bind before-create-object -
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
create FFH area 2577000 5695000 2577300 5695000 2577300 5695300 as DE-4509-302
create FFH area 2578000 5695000 2578200 5695000 2578200 5695200 as DE-4509-310
activate DE-4509-301
set linfos NAME "Ruhrhänge"
post linfos
exec /bin/mkdir -p ${IN} ${IN2} ${IN3} ${IN4}
select DE-4509-301 NSG-0815
export-geodata ${IN}/abcdef.shp
export-xml ${IN}/abcdef.xml
select DE-4509-302
export-geodata ${IN2}/abcdef.shp
export-xml ${IN2}/abcdef.xml
deselect all
select DE-4509-310
export-geodata ${IN3}/nachba.shp
export-xml ${IN3}/nachba.xml
close
bind before-create-object BeforeCreateObject
exec ${PKG} write ${IN} abcdef erste
exec ${PKG} write ${IN2} abcdef zweite_ausgabe
exec ${PKG} write ${IN3} nachba nachbar
exec ${PKG} write ${IN4} fotos1 fotos
exec ${BIN}/mkjpeg ${IN}/abcdef_Fotos/KTFOTO1.JPG 16 12 501
exec ${BIN}/mkjpeg ${IN2}/abcdef_Fotos/KTFOTO1.JPG 16 12 501
exec ${BIN}/mkjpeg ${IN4}/fotos1_Fotos/KTFOTO9.JPG 12 12 502

# The morning: the checkout comes in.
new-project ${TEMP}/projekt
answer file "${IN}/abcdef.tid"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 2

# The day: DE-4509-301 named anew and moved (marked "UPDATE"), the
# read-only NSG-0815 given a local photo and a plant list, DE-4509-310
# drawn as a new object of 4711.
activate DE-4509-301
set linfos NAME "Ruhrhänge Nord"
post linfos
move DE-4509-301 0 2575010 5695010
exec /usr/bin/sqlite3 "${PROJECT}KTProjekt.db" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'Eiche', 3, 'KTFoto2.jpg')"
exec ${BIN}/mkjpeg ${PROJECT}KTPhotos/KTFoto2.jpg 16 16 4
activate NSG-0815
append Objektphotos
set Objektphotos PhotoID -1
set Objektphotos Bemerkung "alte Eiche"
post Objektphotos
append Pflanzenliste
set Pflanzenliste Art "Quercus robur"
post Pflanzenliste
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
create FFH area 2578000 5695000 2578200 5695000 2578200 5695200
expect exists DE-4509-310
exec /bin/sh -c "${STATE} ${PROJECT} > ${TEMP}/abend"

# The next issue of the package: asked, and cancelled, nothing changes.
answer file "${IN2}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnAbbrechen
run VD1CustomImport
expect form TFormLokaleArbeit
expect hook VD1CustomImport false
exec /bin/sh -c "${STATE} ${PROJECT} | diff - ${TEMP}/abend"

# Kept: DE-4509-301 and NSG-0815 stay exactly as the day left them; the
# package's DE-4509-302 and its free identifier come in.
answer file "${IN2}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnBehalten
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 4
exec /bin/sh -c "${STATE} ${PROJECT} | grep -v -e DE-4509-302 -e DE-4509-312 | diff - ${TEMP}/abend"
exec /bin/sh -c "${STATE} ${PROJECT} | grep -e '^TA_LIST' | grep -e DE-4509-302"
expect output "TA_LIST 4711|4|90004|1|DE-4509-302|IGNORED|DE-4509-302\n"

# Taken: the package's version of both, the link to the local photo
# carried over to the object loaded anew (the plant list is the package's:
# none), the rows back to the package's values without a mark.
answer file "${IN2}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnUebernehmen
run VD1CustomImport
expect hook VD1CustomImport true
activate DE-4509-301
expect value linfos NAME "Ruhrhänge"
expect geometry DE-4509-301 2575000 5695000 2575000 5695400 2575600 5695400 2575600 5695000
exec /bin/sh -c "${STATE} ${PROJECT} | grep -e '^Objektphotos' -e '^Pflanzenliste' -e '^TA_LIST'"
expect output "Objektphotos NSG-0815 PhotoID=-1;Bemerkung=alte Eiche\nTA_LIST 4711|1|90001|1|DE-4509-301|IGNORED|DE-4509-301\nTA_LIST 4711|2|90002|0|NSG-0815|IGNORED|NSG-0815\nTA_LIST 4711|3|-1|2|DE-4509-310|NEW|DE-4509-310\nTA_LIST 4711|4|90004|1|DE-4509-302|IGNORED|DE-4509-302\n"
exec /usr/bin/sqlite3 "${PROJECT}KTProjekt.db" "select FotoID, PicFileName, IsNew from Fotos order by FotoID"
expect output "-1|KTFoto2.jpg|3\n501|KTFOTO1.JPG|2\n"
exec /usr/bin/cmp ${PROJECT}KTPhotos/KTFOTO1.JPG ${IN2}/abcdef_Fotos/KTFOTO1.JPG
exec /bin/sh -c "${STATE} ${PROJECT} | grep -c '^Objektphotos NSG-0815 PhotoID=-1;' "
expect output "1\n"

# Another transaction's package names the object drawn here as new: with
# the package's version taken, its row goes over to 4713 with the package's
# status, and its identifier is in no pool.
answer file "${IN3}/nachba.tid"
answer form TFormLokaleArbeit
answer click BtnUebernehmen
run VD1CustomImport
expect hook VD1CustomImport true
expect exists DE-4509-310
exec /bin/sh -c "${STATE} ${PROJECT} | grep -e DE-4509-310 | grep -e '^TA_'"
expect output "TA_LIST 4713|5|90020|1|DE-4509-310|IGNORED|DE-4509-310\n"

# A package picture whose name a local photo uses goes under a name of its
# own; the local picture stays.
exec /usr/bin/sqlite3 "${PROJECT}KTProjekt.db" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-2, 'Hecke', 3, 'KTFoto9.jpg')"
exec ${BIN}/mkjpeg ${PROJECT}KTPhotos/KTFoto9.jpg 16 16 9
exec /bin/cp ${PROJECT}KTPhotos/KTFoto9.jpg ${TEMP}/lokal9.jpg
answer file "${IN4}/fotos1pc.dbf"
answer message OK "Das Transaktionspaket ${IN4}/fotos1 ist importiert.\r\rFolgende Fotos des Pakets haben den Dateinamen eines anderen Fotos des Projekts und wurden unter einem eigenen Namen abgelegt:\r502: KTFOTO9.JPG -> KTFOTO9_1.JPG"
run VD1CustomImport
expect hook VD1CustomImport true
exec /usr/bin/sqlite3 "${PROJECT}KTProjekt.db" "select FotoID, PicFileName from Fotos where FotoID in (-2, 502) order by FotoID"
expect output "-2|KTFoto9.jpg\n502|KTFOTO9_1.JPG\n"
exec /usr/bin/cmp ${PROJECT}KTPhotos/KTFoto9.jpg ${TEMP}/lokal9.jpg
exec /usr/bin/cmp ${PROJECT}KTPhotos/KTFOTO9_1.JPG ${IN4}/fotos1_Fotos/KTFOTO9.JPG

# Damaged packages change nothing: no file of the project, no object.
exec /bin/sh -c "${STATE} ${PROJECT} > ${TEMP}/vorher && cd ${PROJECT} && find . -type f | sort | xargs md5sum > ${TEMP}/vorher.md5"
let K "${TEMP}/kaputt"
exec /bin/sh -c "rm -rf ${K} && cp -r ${IN2} ${K} && truncate -s -24 ${K}/abcdef.shp"
answer file "${K}/abcdef.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rDie Datei ${K}/abcdef.shp ist unvollständig: ihr Kopf nennt 476 Bytes, sie hat 452."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "rm -rf ${K} && cp -r ${IN2} ${K} && rm ${K}/abcdef.shx"
answer file "${K}/abcdef.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rDie Datei ${K}/abcdef.shx der Geodaten fehlt."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "rm -rf ${K} && cp -r ${IN2} ${K} && truncate -s 300 ${K}/abcdef.xml"
answer file "${K}/abcdef.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rDie XML-Datei ${K}/abcdef.xml hat ein fehlerhaftes Attribut (Zeile 8)."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "rm -rf ${K} && cp -r ${IN2} ${K} && ln -sf ${PROJECT}KTProjekt.ktp ${K}/abcdef_Fotos/KTFOTO1.JPG"
answer file "${K}/abcdef.tid"
answer message OK "Das Transaktionspaket wird nicht importiert:\rIm Transaktionspaket ist \"${K}/abcdef_Fotos/KTFOTO1.JPG\" keine gewöhnliche Datei (eine Verknüpfung, ein Ordner oder ein Gerät); das Paket wird nicht importiert."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${STATE} ${PROJECT} | diff - ${TEMP}/vorher && cd ${PROJECT} && find . -type f | sort | xargs md5sum | diff - ${TEMP}/vorher.md5"

# A damaged picture is named at the end; its photo still comes in.
exec /bin/sh -c "rm -rf ${K} && cp -r ${IN2} ${K}"
exec ${BIN}/mkjpeg ${K}/abcdef_Fotos/KTFOTO1.JPG png
answer file "${K}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnBehalten
answer message OK "Das Transaktionspaket ${K}/abcdef ist importiert.\r\rFolgende Bilddateien des Pakets sind keine lesbaren JPEG-Bilder; ihre Fotos wurden trotzdem übernommen:\rDie Bilddatei \"KTFOTO1.JPG\" ist kein JPEG-Bild."
run VD1CustomImport
expect hook VD1CustomImport true
