# Packages that would come in incomplete, through the hook: a whole
# checkout comes in first; then copies of it, each without one of the files
# the package shows belong there (the transaction list, the attribute file,
# the photo list beside its pictures, the free identifiers beside their
# index), and one whose geodata carry an identifier damaged on the way. Each
# is refused naming the file and leaves every file of the project as it
# was. The free identifiers left out with their index come in as before.
plugin VD1TransAction2010
let PKG "/usr/bin/python3 ${HERE}/import_package.py"
let IN "${TEMP}/ganz"
let P "${TEMP}/kopie"
let REFUSED "Das Transaktionspaket wird nicht importiert:\r"
let SAME "cd '${TEMP}/projekt' && find . -type f | sort | xargs md5sum | cmp - '${TEMP}/vorher' && echo gleich"

new-project ${TEMP}/zentrale
bind before-create-object -
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
select all
exec /bin/mkdir -p ${IN}
export-geodata ${IN}/abcdef.shp
export-xml ${IN}/abcdef.xml
close
bind before-create-object BeforeCreateObject
exec ${PKG} write ${IN} abcdef erste
exec ${BIN}/mkjpeg ${IN}/abcdef_Fotos/KTFOTO1.JPG 16 12 501
# The index the central system writes beside its free identifiers.
exec /usr/bin/touch ${IN}/abcdefkl.mdx

new-project ${TEMP}/projekt
answer file "${IN}/abcdef.tid"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 2
exec /bin/sh -c "cd '${PROJECT}' && find . -type f | sort | xargs md5sum > '${TEMP}/vorher'"

exec /bin/sh -c "rm -rf ${P} && cp -r ${IN} ${P} && rm ${P}/abcdeft.dbf"
answer file "${P}/abcdef.tid"
answer message OK "${REFUSED}Das Transaktionspaket ist unvollständig:\rDie Transaktionsliste ${P}/abcdeft.dbf fehlt; die Objekte der Geo- und Attributdaten kämen außerhalb jeder Transaktion ins Projekt."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${SAME}"
expect output "gleich\n"

exec /bin/sh -c "rm -rf ${P} && cp -r ${IN} ${P} && rm ${P}/abcdef.xml"
answer file "${P}/abcdef.tid"
answer message OK "${REFUSED}Das Transaktionspaket ist unvollständig:\rDie Attributdaten ${P}/abcdef.xml fehlen; die Objekte der Geodaten kämen ohne ihre Attribute ins Projekt, die schon vorhandenen verlören sie."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${SAME}"
expect output "gleich\n"

exec /bin/sh -c "rm -rf ${P} && cp -r ${IN} ${P} && rm ${P}/abcdefpc.dbf"
answer file "${P}/abcdef.tid"
answer message OK "${REFUSED}Das Transaktionspaket ist unvollständig:\rDie Fotoliste ${P}/abcdefpc.dbf fehlt, der Ordner ${P}/abcdef_Fotos enthält aber Bilder; ohne sie kämen die Fotos nicht ins Projekt."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${SAME}"
expect output "gleich\n"

exec /bin/sh -c "rm -rf ${P} && cp -r ${IN} ${P} && rm ${P}/abcdefkl.dbf"
answer file "${P}/abcdef.tid"
answer message OK "${REFUSED}Das Transaktionspaket ist unvollständig:\rDie Liste der freien Kennungen ${P}/abcdefkl.dbf fehlt, ihre Datei ${P}/abcdefkl.mdx liegt aber im Paket."
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${SAME}"
expect output "gleich\n"

# One bit flipped on the way: the geodata's NSG-0815 reads NSG-0915.
exec /bin/sh -c "rm -rf ${P} && cp -r ${IN} ${P} && sed -i 's/NSG-0815/NSG-0915/' ${P}/abcdef.dbf"
answer file "${P}/abcdef.tid"
answer message OK "${REFUSED}Folgende Objekte der Transaktionsliste kommen ohne Geometrie; die Geodaten ${P}/abcdef.shp enthalten sie nicht:\rNSG-0815\r\rFolgende Objekte der Geo- und Attributdaten sind nicht in der Transaktionsliste ${P}/abcdeft.dbf; sie kämen außerhalb jeder Transaktion ins Projekt:\rNSG-0915 (abcdef.shp, Datensatz 2)"
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${SAME}"
expect output "gleich\n"

# Nothing shows the free identifiers belong to it: the package comes in.
exec /bin/sh -c "rm -rf ${P} && cp -r ${IN} ${P} && rm ${P}/abcdefkl.dbf ${P}/abcdefkl.mdx"
answer file "${P}/abcdef.tid"
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 2
close
