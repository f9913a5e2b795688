# Transaction tables with changes to report, written directly as an import
# leaves them, in the open project: transaction 4711 "Ruhraue bei
# Hattingen" with 70 new objects NSG-1 ... NSG-70 (a list that goes on over
# a page break), the deleted DE-4509-301, the changed ÖK-0815 and NSG-0816
# and the read-only NSG-0001; 4712 "Eifelwiesen Süd" with the new ND-0051.
# Afterwards ${TA} is the transaction connection string for dbsql.
let TA "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;"
exec ${BIN}/dbsql "${TA}" "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))"
exec ${BIN}/dbsql "${TA}" "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))"
exec ${BIN}/dbsql "${TA}" "create Table TA_KL (TID integer, KENNUNG char(50))"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4711,'Ruhraue bei Hattingen','Frau Kern')"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4712,'Eifelwiesen Süd','Herr Busch')"
exec /bin/sh -c "i=1; while [ $i -le 70 ]; do echo \"insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,$i,0,2,'NSG-$i','','NEW');\"; i=$((i+1)); done | ${BIN}/dbsql '${TA}'"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,101,90001,3,'DE-4509-301','DE-4509-301','DELETE')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,102,90002,1,'ÖK-0815','ÖK-0815','UPDATE')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,103,90003,1,'NSG-0816','NSG-0816','UPDATE')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,104,90004,0,'NSG-0001','NSG-0001','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4712,105,0,2,'ND-0051','','NEW')"
