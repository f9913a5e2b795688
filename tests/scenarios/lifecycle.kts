# A mapper works on a checked-out transaction; the transaction list and the
# identifier pool follow every step.
plugin VD1TransAction2010
include lib/checkout.kts
let LIST "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST"
let POOL "select TID,KENNUNG from TA_KL"

# Attributes of a read-only object may change; the row is marked, the
# status stays.
activate NSG-0815
set linfos NAME "Heide am Bach"
post linfos
exec ${BIN}/dbsql "${TA}" "select CHANGED,SCHREIBEND from TA_LIST where KENNUNG = 'NSG-0815'"
expect output "UPDATE\t0\n"

# Its geometry may not.
answer message OK "Das Objekt ist lesend gesperrt. Seine Geometrie darf nicht verändert werden!"
move NSG-0815 1 2576600 5695100
expect hook CheckStatus false
expect geometry NSG-0815 2576000 5695000 2576500 5695500 2576500 5695000

# A checked-out object for writing is changed and marked.
move DE-4509-301 2 2575700 5695500
expect hooks CheckStatus GeometryChanged AfterKARTULCommand
exec ${BIN}/dbsql "${TA}" "select CHANGED from TA_LIST where KENNUNG = 'DE-4509-301'"
expect output "UPDATE\n"

# A new FFH area: the chooser offers the free identifiers of the class.
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
expect exists DE-4509-311
expect form TFormGetTIDAndKennung
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST where KENNUNG = 'DE-4509-311'"
expect output "DE-4509-311\t4711\t2\tNEW\tDE-4509-311\n"
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_KL where KENNUNG = 'DE-4509-311'"
expect output "0\n"

# "Abbrechen" cancels the creation.
answer form TFormGetTIDAndKennung
answer click BtnCancel
create FFH area 0 0 10 0 10 10
expect objects 4

# "Keine TID" with an identifier: the object takes it but stays unlisted.
answer form TFormGetTIDAndKennung
answer select lbTransActions "4712 - Eifelwiesen"
answer select lbKennungen "DE-5505-001"
answer click BtnNoTID
create FFH area 0 0 10 0 10 10
expect exists DE-5505-001
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'DE-5505-001'"
expect output "0\n"

# The host may not rename a listed object; the plug-in puts the name back.
answer message OK "Das Objekt DE-4509-301 ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher nicht geändert werden."
rename DE-4509-301 DE-4509-999
expect exists DE-4509-301
expect missing DE-4509-999
expect message warning "Das Objekt DE-4509-301 ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher nicht geändert werden."
# An unlisted object may be renamed.
rename DE-5505-001 DE-5505-002
expect exists DE-5505-002

# The new object switches to another free identifier; the old one returns.
activate DE-4509-311
answer form TformGetKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
run SwitchKennung
expect exists DE-4509-310
expect selection DE-4509-310
exec ${BIN}/dbsql "${TA}" "select KENNUNG,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST where TID = 4711 and SCHREIBEND = 2"
expect output "DE-4509-310\t2\tNEW\tDE-4509-311\n"
exec ${BIN}/dbsql "${TA}" "select TID,KENNUNG from TA_KL where KENNUNG like 'DE-4509%'"
expect output "4711\tDE-4509-311\n"

# A switch of a read-only object is refused.
activate NSG-0815
answer message OK "Das Objekt muss schreibend gesperrt oder neu sein!"
run SwitchKennung

# Deleting: the new object's row goes, the checked-out object is marked.
delete DE-4509-310
delete DE-4509-301
exec ${BIN}/dbsql "${TA}" "${LIST}"
expect output "DE-4509-301\t4711\t3\tDELETE\tDE-4509-301\nNSG-0815\t4711\t0\tUPDATE\tNSG-0815\nND-0042\t4712\t1\tIGNORED\tND-0042\n"
exec ${BIN}/dbsql "${TA}" "${POOL}"
expect output "4711\tNSG-0816\n4711\tND-0050\n4712\tDE-5505-001\n4712\tND-0051\n4711\tDE-4509-311\n4711\tDE-4509-310\n4711\tDE-4509-301\n"

# Created again under its identifier, the deleted object is an update.
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-301"
answer click BtnOK
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400
exec ${BIN}/dbsql "${TA}" "select TID,SCHREIBEND,CHANGED from TA_LIST where KENNUNG = 'DE-4509-301'"
expect output "4711\t1\tUPDATE\n"

# Assigning a selection to a transaction; "Abbrechen" for the second object
# stops the run after the first.
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO area 100 100 200 100 200 200 as BIO-1
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create ND point 300 300 as ND-Linde
select DE-5505-002 ND-Linde ND-0042
answer message Yes "3 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer form TformGetKennung
answer select lbKennungen "DE-5505-001"
answer click BtnOK
answer form TformGetKennung
answer click Button1
run AssignToTransaction
expect exists DE-5505-001
expect exists ND-Linde
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST where TID = 4712"
expect output "ND-0042\t4712\t1\tIGNORED\tND-0042\nDE-5505-001\t4712\t2\tNEW\tDE-5505-001\n"

# Nothing selected: nothing to assign.
deselect all
answer message OK "Keine Objekte selektiert!"
run AssignToTransaction

# The files as another dBase reader (Python's dbfread) sees them.
exec /usr/bin/python3 -c "import sys, dbfread; [print(r['KENNUNG'], r['TID'], r['SCHREIBEND'], r['CHANGED'], r['KENNUNGO']) for r in dbfread.DBF(sys.argv[1])]" ${PROJECT}TA_LIST.dbf
expect output "DE-4509-301 4711 1 UPDATE DE-4509-301\nNSG-0815 4711 0 UPDATE NSG-0815\nND-0042 4712 1 IGNORED ND-0042\nDE-5505-001 4712 2 NEW DE-5505-001\n"
exec /usr/bin/python3 -c "import sys, dbfread; [print(r['TID'], r['KENNUNG']) for r in dbfread.DBF(sys.argv[1])]" ${PROJECT}TA_KL.dbf
expect output "4711 NSG-0816\n4711 ND-0050\n4712 ND-0051\n4711 DE-4509-311\n4711 DE-4509-310\n"
