# What the mapper is told when the host or the transaction list refuses a
# step, and that a refused step leaves the lists as they were.
plugin VD1TransAction2010
include lib/checkout.kts
let LIST "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST"
let POOL "select TID,KENNUNG from TA_KL"

# The switch takes the active object.
let PICK activate
include lib/switch_refused.kts

# A damaged pool table: each step that needs it is told which table cannot
# be read, behind the line that says what it concerns, and changes nothing;
# the creation too. A deletion, which the host carries out whatever the
# answer, is still recorded in the transaction list (a checked-out object
# marked, a new one's row removed), and the mapper learns that its
# identifier did not go back to the pool.
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 0 0 10 0 10 10
exec /bin/sh -c "printf kaputt > ${PROJECT}TA_KL.dbf"
let KAPUTT "${PROJECT}TA_KL.dbf: Die Datei ist kürzer als ein dBase-Dateikopf (6 Bytes)."
activate DE-4509-301
answer message OK "Fehler in den Transaktionstabellen:\r\n${KAPUTT}"
run SwitchKennung
expect exists DE-4509-301
answer message OK "Fehler in den Transaktionstabellen:\r\n${KAPUTT}"
create FFH area 0 0 10 0 10 10
expect objects 4
answer message OK "Das Löschen von DE-4509-301 ist in der Transaktionsliste vermerkt, aber die Kennung konnte nicht in die Kennungsliste ${PROJECT}TA_KL.dbf zurückgegeben werden:\r\n${KAPUTT}"
delete DE-4509-301
expect message warning "Das Löschen von DE-4509-301 ist in der Transaktionsliste vermerkt, aber die Kennung konnte nicht in die Kennungsliste ${PROJECT}TA_KL.dbf zurückgegeben werden:\r\n${KAPUTT}"
answer message OK "Das Löschen von DE-4509-311 ist in der Transaktionsliste vermerkt, aber die Kennung konnte nicht in die Kennungsliste ${PROJECT}TA_KL.dbf zurückgegeben werden:\r\n${KAPUTT}"
delete DE-4509-311
expect missing DE-4509-301
expect missing DE-4509-311
exec ${BIN}/dbsql "${TA}" "${LIST}"
expect output "DE-4509-301\t4711\t3\tDELETE\tDE-4509-301\nNSG-0815\t4711\t0\tIGNORED\tNSG-0815\nND-0042\t4712\t1\tIGNORED\tND-0042\n"
exec /bin/sh -c "printf kaputt | cmp -s - ${PROJECT}TA_KL.dbf"
