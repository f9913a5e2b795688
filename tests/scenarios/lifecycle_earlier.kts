# The earlier build VD1TransAction on a checked-out transaction: the switch
# works on the one selected object and offers the whole pool, an assigned
# row is changed in place (also the row of a deleted object that an object
# drawn again under its identifier takes over), a deleted object's
# identifier stays out of the pool, the status words and the "RLP" gate of
# the status display.
plugin VD1TransAction
include lib/checkout.kts
let LIST "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO,KARTULID,VGNR from TA_LIST"
let POOL "select TID,KENNUNG from TA_KL"

# A new FFH area takes a free identifier of the class.
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
expect exists DE-4509-311
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST where KENNUNG = 'DE-4509-311'"
expect output "DE-4509-311\t4711\t2\tNEW\tDE-4509-311\n"

# The switch demands exactly one selected object.
select DE-4509-311 DE-4509-301
answer message OK "Es muss genau ein Objekt selektiert sein!"
run SwitchKennung
deselect all
answer message OK "Es muss genau ein Objekt selektiert sein!"
run SwitchKennung

# It works on the selected object, not on the active one, and offers the
# whole pool of the transaction, whatever the class.
select DE-4509-311
activate NSG-0815
answer form TformGetKennung
answer select lbKennungen "ND-0050"
answer click BtnOK
run SwitchKennung
expect form TformGetKennung
expect exists ND-0050
expect active ND-0050
expect kennung NSG-0815 NSG-0815
exec ${BIN}/dbsql "${TA}" "select KENNUNG,CHANGED,KENNUNGO from TA_LIST where SCHREIBEND = 2"
expect output "ND-0050\tNEW\tDE-4509-311\n"
exec ${BIN}/dbsql "${TA}" "${POOL}"
expect output "4711\tDE-4509-310\n4711\tNSG-0816\n4712\tDE-5505-001\n4712\tND-0051\n4711\tDE-4509-311\n"

# Assigned to the other transaction under a fitting free identifier, the
# row is changed in place and goes along with the object: its object id
# and process number stay, the old identifier returns to its pool.
deselect all
select ND-0050
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer form TformGetKennung
answer select lbKennungen "DE-5505-001"
answer click BtnOK
run AssignToTransaction
expect exists DE-5505-001
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO,KARTULID,VGNR from TA_LIST where TID = 4712"
expect output "ND-0042\t4712\t1\tIGNORED\tND-0042\t3\t90003\nDE-5505-001\t4712\t2\tNEW\tDE-4509-311\t4\t-1\n"
exec ${BIN}/dbsql "${TA}" "select TID,KENNUNG from TA_KL where KENNUNG = 'ND-0050'"
expect output "4711\tND-0050\n"

# An object whose identifier is free in the target's pool keeps it.
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create ND point 300 300 as ND-0051
deselect all
select ND-0051
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
run AssignToTransaction
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST where KENNUNG = 'ND-0051'"
expect output "ND-0051\t4712\t2\tNEW\tND-0051\n"

# "Keine TID" ends the assignment; nothing is released in this build.
deselect all
select ND-0051
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer click BtnCancel
run AssignToTransaction
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'ND-0051'"
expect output "1\n"

# A deleted checked-out object is marked; once deleted it gives its
# identifier back, deleted again it does not.
delete DE-4509-301
exec ${BIN}/dbsql "${TA}" "select SCHREIBEND,CHANGED from TA_LIST where KENNUNG = 'DE-4509-301'"
expect output "3\tDELETE\n"
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_KL where KENNUNG = 'DE-4509-301'"
expect output "1\n"

# Drawn again under that identifier outside any transaction and then
# assigned to it, the object takes over the row in place: changed, not new;
# the object id is the new object's, the process number and the original
# identifier stay the checked-out object's.
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 as DE-4509-301
exec ${BIN}/dbsql "${TA}" "${LIST} where KENNUNG = 'DE-4509-301'"
expect output "DE-4509-301\t4711\t3\tDELETE\tDE-4509-301\t1\t90001\n"
deselect all
select DE-4509-301
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
run AssignToTransaction
exec ${BIN}/dbsql "${TA}" "${LIST} where KENNUNG = 'DE-4509-301'"
expect output "DE-4509-301\t4711\t1\tUPDATE\tDE-4509-301\t6\t90001\n"
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_KL where KENNUNG = 'DE-4509-301'"
expect output "0\n"

include lib/general_rule_set.kts

# The status display only where the state is "RLP", with this build's words.
activate NSG-0815
run ShowObjStatus
expect hooks ShowObjStatus AfterKARTULCommand
config Config Bundesland RLP
answer message OK "Das Objekt NSG-0815 ist in der Transaktion 4711\n\rmit dem Status 'Lesend' gesperrt."
run ShowObjStatus
activate DE-5505-001
answer message OK "Das Objekt DE-5505-001 ist in der Transaktion 4712\n\rmit dem Status 'Neu' gesperrt."
run ShowObjStatus

# The tables as another dBase reader sees them.
exec /usr/bin/python3 -c "import sys, dbfread; [print(r['KENNUNG'], r['TID'], r['SCHREIBEND'], r['CHANGED'], r['KENNUNGO']) for r in dbfread.DBF(sys.argv[1])]" ${PROJECT}TA_LIST.dbf
expect output "DE-4509-301 4711 1 UPDATE DE-4509-301\nNSG-0815 4711 0 IGNORED NSG-0815\nND-0042 4712 1 IGNORED ND-0042\nDE-5505-001 4712 2 NEW DE-4509-311\nND-0051 4712 2 NEW ND-0051\n"
