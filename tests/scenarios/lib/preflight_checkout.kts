# The demo's transaction 4711 "Ruhraue bei Hattingen" brought in through the
# import command with the preflight turned on, so that the import stores the
# fingerprints of its objects in TA_FP:
#   DE-4509-301 (FFH, schreibend), NSG-0815 (NSG, lesend);
#   free: DE-4509-310, DE-4509-311, NSG-0816, ND-0050
# Afterwards ${TA} is the transaction connection string for dbsql, ${DB}
# the project database.
let PKG "/usr/bin/python3 ${HERE}/import_package.py"
new-project ${TEMP}/zentrale
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
activate DE-4509-301
set linfos NAME "Ruhrhänge"
post linfos
select all
exec /bin/mkdir -p ${TEMP}/ruhr
export-geodata ${TEMP}/ruhr/ruhr47.shp
export-xml ${TEMP}/ruhr/ruhr47.xml
close
exec ${PKG} write ${TEMP}/ruhr RUHR47 ruhraue

new-project ${TEMP}/projekt
config VANDRA Vorpruefung 1
answer file "${TEMP}/ruhr/RUHR47.tid"
run VD1CustomImport
expect hook VD1CustomImport true
let TA "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;"
let DB "${PROJECT}KTProjekt.db"
