# The checkout of the demo's morning, brought in as a mapper brings it in:
# the central system's packages for transactions 4711 and 4712 (geodata and
# attributes written by the host, the plug-in's tables by
# tests/scenarios/import_package.py), each imported through the import
# command. Afterwards ${TA} is the transaction connection string for dbsql.
let PKG "/usr/bin/python3 ${HERE}/../tests/scenarios/import_package.py"
new-project ${TEMP}/zentrale
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
activate DE-4509-301
set linfos NAME "Ruhrhänge"
post linfos
select all
exec /bin/mkdir -p ${TEMP}/ruhr ${TEMP}/eifel
export-geodata ${TEMP}/ruhr/ruhr47.shp
export-xml ${TEMP}/ruhr/ruhr47.xml
close
new-project ${TEMP}/zentrale2
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create ND point 2575300 5695800 as ND-0042
select all
export-geodata ${TEMP}/eifel/eifel4.shp
export-xml ${TEMP}/eifel/eifel4.xml
close
exec ${PKG} write ${TEMP}/ruhr RUHR47 ruhraue
exec ${PKG} write ${TEMP}/eifel EIFEL4 eifel

new-project ${TEMP}/projekt
answer file "${TEMP}/ruhr/RUHR47.tid"
run VD1CustomImport
expect hook VD1CustomImport true
answer file "${TEMP}/eifel/EIFEL4T.DBF"
run VD1CustomImport
expect hook VD1CustomImport true
let TA "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;"
