# A re-import merged field by field, in the full build: the checkout of
# 4711 comes in, the mapper renames and moves DE-4509-301 and renames the
# read-only NSG-0815 and links a plant to it; the centre's next issue
# carries a remark on DE-4509-301 and a new name of NSG-0815. Merged, the
# remark is written into the kept DE-4509-301 beside the mapper's name and
# boundary (its row keeps "UPDATE"); NSG-0815, now asked as an object the
# package lists read-only, takes the package's version with its plant list,
# and the mapper's dropped name is named. What the project holds is read
# with readers of their own (project_state.py) and compared line by line.
plugin VD1TransAction2010
let PKG "/usr/bin/python3 ${HERE}/import_package.py"
let STATE "/usr/bin/python3 ${HERE}/project_state.py"
let IN "${TEMP}/erste"
let IN2 "${TEMP}/zweite"

# The central system's geodata, and its corrections for the next issue.
new-project ${TEMP}/zentrale
bind before-create-object -
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
activate DE-4509-301
set linfos NAME "Ruhrhänge"
post linfos
exec /bin/mkdir -p ${IN} ${IN2}
select DE-4509-301 NSG-0815
export-geodata ${IN}/abcdef.shp
export-xml ${IN}/abcdef.xml
activate DE-4509-301
set linfos BEMERKUNG "vom Zentrum geprüft"
post linfos
activate NSG-0815
set linfos NAME "Ruhraue"
post linfos
export-geodata ${IN2}/abcdef.shp
export-xml ${IN2}/abcdef.xml
close
bind before-create-object BeforeCreateObject
exec ${PKG} write ${IN} abcdef erste
exec ${PKG} write ${IN2} abcdef erste
exec ${BIN}/mkjpeg ${IN}/abcdef_Fotos/KTFOTO1.JPG 16 12 501
exec ${BIN}/mkjpeg ${IN2}/abcdef_Fotos/KTFOTO1.JPG 16 12 501

# The checkout, and the mapper's day.
new-project ${TEMP}/projekt
answer file "${IN}/abcdef.tid"
run VD1CustomImport
expect hook VD1CustomImport true
activate DE-4509-301
set linfos NAME "Ruhrhänge Nord"
post linfos
move DE-4509-301 0 2575010 5695010
activate NSG-0815
set linfos NAME "Ruhraue Süd"
post linfos
append Pflanzenliste
set Pflanzenliste Art "Quercus robur"
post Pflanzenliste
exec /bin/sh -c "${STATE} ${PROJECT} > ${TEMP}/abend"

# Merging, then cancelling at the conflicts: nothing changes.
answer file "${IN2}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnZusammenfuehren
answer form TFormKonflikte
answer click BtnAbbrechen
run VD1CustomImport
expect hook VD1CustomImport false
exec /bin/sh -c "${STATE} ${PROJECT} | diff - ${TEMP}/abend"

# Merged, NSG-0815 as the package has it.
answer file "${IN2}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnZusammenfuehren
answer form TFormKonflikte
answer click BtnOK
answer message OK
run VD1CustomImport
expect hook VD1CustomImport true
expect objects 2
exec /bin/sh -c "${STATE} ${PROJECT} | grep -e '^linfos' -e '^Pflanzenliste' -e '^TA_LIST' -e '^objekt DE'"
expect output "Pflanzenliste NSG-0815 Art=Quercus robur\nTA_LIST 4711|1|90001|1|DE-4509-301|UPDATE|DE-4509-301\nTA_LIST 4711|2|90002|0|NSG-0815|IGNORED|NSG-0815\nlinfos DE-4509-301 KENNUNG=DE-4509-301;NAME=Ruhrhänge Nord;BEMERKUNG=vom Zentrum geprüft\nlinfos NSG-0815 KENNUNG=NSG-0815;NAME=Ruhraue\nobjekt DE-4509-301 1002 3 2575010 5695010,2575000 5695400,2575600 5695400,2575600 5695000\n"

# The same issue once more: what was decided is the base now; the
# mapper's name and boundary are the only changes, and nothing is asked.
answer file "${IN2}/abcdef.tid"
answer form TFormLokaleArbeit
answer click BtnZusammenfuehren
answer message OK
run VD1CustomImport
expect hook VD1CustomImport true
exec /bin/sh -c "${STATE} ${PROJECT} | grep -e '^linfos DE'"
expect output "linfos DE-4509-301 KENNUNG=DE-4509-301;NAME=Ruhrhänge Nord;BEMERKUNG=vom Zentrum geprüft\n"
close
