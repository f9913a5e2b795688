# Body of refusals_earlier.kts and refusals_reduced.kts, run by each of the
# earlier builds (${BUILD}, which the including scenario sets): what the
# mapper is told when the host or the transaction list refuses a step, and
# that a refused step leaves the lists as they were: the host refusing a
# switched identifier; the list refusing a checked-out object's rename, the
# move of a read-only object, the switch of a read-only object or of one
# outside the list; a new object under the identifier of another object's
# row; a damaged pool table.
plugin ${BUILD}
include lib/checkout.kts
let LIST "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST"
let POOL "select TID,KENNUNG from TA_KL"

# The switch takes the one selected object; the identifier chosen is in
# the pool either build offers (the whole pool, or the pool's identifiers
# of the object's class).
let PICK select
include lib/switch_refused.kts
deselect all

# The list refuses the rename of an object it holds: the host gives the
# object its identifier back.
answer message OK "Das Objekt NSG-0815 ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher nicht geändert werden."
rename NSG-0815 NSG-0999
expect exists NSG-0815
expect missing NSG-0999

# A read-only object keeps its geometry.
answer message OK "Das Objekt ist lesend gesperrt. Seine Geometrie darf nicht verändert werden!"
move NSG-0815 1 20 20
expect geometry NSG-0815 2576000 5695000 2576500 5695500 2576500 5695000

# The switch refuses a read-only object and one outside the list.
select NSG-0815
answer message OK "Das Objekt muss schreibend gesperrt oder neu sein!"
run SwitchKennung
expect exists NSG-0815
deselect all
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create ND point 5 5 as ND-frei
select ND-frei
answer message OK "Es konnte keine Transaktion für das Objekt ermittelt werden!"
run SwitchKennung
expect exists ND-frei
exec ${BIN}/dbsql "${TA}" "${LIST}"
expect output "DE-4509-301\t4711\t1\tIGNORED\tDE-4509-301\nNSG-0815\t4711\t0\tIGNORED\tNSG-0815\nND-0042\t4712\t1\tIGNORED\tND-0042\n"

# The list refuses a new object under the identifier of another object's
# row: a read-only object deleted in the host keeps its row, and a host that
# creates an object without asking the plug-in first (its creation hook
# unbound) enters it under the transaction chosen last. The object stays in
# the host outside any transaction; the row and the pool stay as they were.
answer form TFormGetTIDAndKennung
answer select lbKennungen "NSG-0816"
answer click BtnOK
create NSG area 0 0 10 0 10 10
expect exists NSG-0816
delete NSG-0815
bind before-create-object -
answer message OK "Die Kennung NSG-0815 ist bereits in der Transaktionsliste eingetragen. Das Objekt wird keiner Transaktion zugewiesen."
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
expect message warning "Die Kennung NSG-0815 ist bereits in der Transaktionsliste eingetragen. Das Objekt wird keiner Transaktion zugewiesen."
expect exists NSG-0815
bind before-create-object BeforeCreateObject
exec ${BIN}/dbsql "${TA}" "${LIST}"
expect output "DE-4509-301\t4711\t1\tIGNORED\tDE-4509-301\nNSG-0815\t4711\t0\tIGNORED\tNSG-0815\nND-0042\t4712\t1\tIGNORED\tND-0042\nNSG-0816\t4711\t2\tNEW\tNSG-0816\n"
exec ${BIN}/dbsql "${TA}" "${POOL} where TID = 4711"
expect output "4711\tDE-4509-310\n4711\tDE-4509-311\n4711\tND-0050\n"

# A damaged pool table: each step that needs it is told which table cannot
# be read, behind the line that says what it concerns, and changes nothing;
# the creation too. A deletion, which the host carries out whatever the
# answer, is still recorded in the transaction list, and the mapper learns
# that the identifier did not go back to the pool.
exec /bin/sh -c "printf kaputt > ${PROJECT}TA_KL.dbf"
let KAPUTT "Die Tabelle ${PROJECT}TA_KL.dbf ist beschädigt oder kann nicht gelesen werden: ${PROJECT}TA_KL.dbf: Die Datei ist kürzer als ein dBase-Dateikopf (6 Bytes)."
deselect all
select DE-4509-301
answer message OK "Fehler in den Transaktionstabellen:\r\n${KAPUTT}"
run SwitchKennung
expect exists DE-4509-301
answer message OK "Fehler in den Transaktionstabellen:\r\n${KAPUTT}"
create FFH area 0 0 10 0 10 10
expect missing FFH-1
answer message OK "Das Löschen von DE-4509-301 ist in der Transaktionsliste vermerkt, aber die Kennung konnte nicht in die Kennungsliste ${PROJECT}TA_KL.dbf zurückgegeben werden:\r\n${KAPUTT}"
delete DE-4509-301
expect missing DE-4509-301
exec ${BIN}/dbsql "${TA}" "${LIST}"
expect output "DE-4509-301\t4711\t3\tDELETE\tDE-4509-301\nNSG-0815\t4711\t0\tIGNORED\tNSG-0815\nND-0042\t4712\t1\tIGNORED\tND-0042\nNSG-0816\t4711\t2\tNEW\tNSG-0816\n"
exec /bin/sh -c "printf kaputt | cmp -s - ${PROJECT}TA_KL.dbf"
