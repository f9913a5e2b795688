# TransactHooks has no check report: the build exports no report hook, the
# host's table binds none, and the menu command cannot be run, even on a
# project with changed transaction data.
plugin TransactHooks
new-project ${TEMP}/p
let TA "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;"
exec ${BIN}/dbsql "${TA}" "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))"
exec ${BIN}/dbsql "${TA}" "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4711,'Ruhraue bei Hattingen','Frau Kern')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,1,0,2,'NSG-1','','NEW')"
show hooks
fails run MakeTransActionReport
fails bind-menu MakeTransActionReport MakeTransActionReport
exec /bin/sh -c "! grep -q 'TFormTransActionReport' ${TEMP}/transcript.txt"
