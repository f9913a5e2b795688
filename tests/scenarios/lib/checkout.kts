# A project with a transaction checked out from VANDRA, as the import leaves
# it: the objects loaded from the package's geodata and attribute files (so
# no creation hooks run), and the transaction tables filled.
#   transaction 4711 "Ruhraue bei Hattingen": DE-4509-301 (FFH, schreibend),
#     NSG-0815 (NSG, lesend); free: DE-4509-310, DE-4509-311, NSG-0816, ND-0050
#   transaction 4712 "Eifelwiesen": ND-0042 (ND, schreibend); free:
#     DE-5505-001, ND-0051
# Afterwards ${TA} is the transaction connection string for dbsql.

# The package: drawn in a project of its own and written as files, the
# plug-in's creation chooser unbound meanwhile (each build has its own
# warning for a project without transaction tables).
new-project ${TEMP}/paket
bind before-create-object -
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
create ND point 2575300 5695800 as ND-0042
activate DE-4509-301
set linfos NAME "Ruhrhänge"
post linfos
select all
export-geodata ${TEMP}/paket.shp
export-xml ${TEMP}/paket.xml
close
bind before-create-object BeforeCreateObject

new-project ${TEMP}/projekt
import-geodata ${TEMP}/paket
import-xml ${TEMP}/paket.xml
expect objects 3
let TA "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;"
exec ${BIN}/dbsql "${TA}" "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))"
exec ${BIN}/dbsql "${TA}" "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))"
exec ${BIN}/dbsql "${TA}" "create Table TA_KL (TID integer, KENNUNG char(50))"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4711,'Ruhraue bei Hattingen','Frau Kern')"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4712,'Eifelwiesen','Herr Busch')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,1,90001,1,'DE-4509-301','DE-4509-301','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,2,90002,0,'NSG-0815','NSG-0815','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4712,3,90003,1,'ND-0042','ND-0042','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'DE-4509-310')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'DE-4509-311')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'NSG-0816')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'ND-0050')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4712,'DE-5505-001')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4712,'ND-0051')"
