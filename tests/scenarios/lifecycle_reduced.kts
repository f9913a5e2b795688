# The reduced build TransactHooks on a checked-out transaction: the choosers
# with the map-sheet filter (TK-Blatt, the second "-" field of an
# identifier) that the project file remembers, the switch of the one
# selected object, the release of objects when no transaction is chosen,
# and the status display with this build's words.
plugin TransactHooks
include lib/checkout.kts

# The creation chooser filters the pool by the map sheet typed.
answer form TFormGetTIDAndKennung
answer type EditTKBlatt "4510"
answer check cbAktiviereFilter
answer click btnRequery
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer type EditTKBlatt "4509"
answer click btnRequery
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
expect exists DE-4509-311
expect file ${PROJECT}KTProjekt.ktp contains TK-Blatt=4509
expect file ${PROJECT}KTProjekt.ktp contains FilterAktiv=1
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED from TA_LIST where KENNUNG = 'DE-4509-311'"
expect output "DE-4509-311\t4711\t2\tNEW\n"

# The switch works on the one selected object; its chooser starts with the
# remembered filter: only the class's identifiers of map sheet 4509.
select DE-4509-311
activate NSG-0815
answer form TformGetKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
run SwitchKennung
expect exists DE-4509-310
expect active DE-4509-310
exec ${BIN}/dbsql "${TA}" "select TID,KENNUNG from TA_KL where KENNUNG like 'DE-4509%'"
expect output "4711\tDE-4509-311\n"

# A map sheet without identifiers: the chooser warns and lists nothing.
answer form TformGetKennung
answer type EditTKBlatt "9999"
answer click btnRequery
answer message OK "Es sind keine gültigen Kennungen im angegebenen\n\r Kartenblatt für die Zieltransaktion definiert!"
answer click BtnCancel
run SwitchKennung
expect exists DE-4509-310
# Where the remembered filter leaves nothing, it warns without opening.
deselect all
select ND-0042
answer message OK "Es sind keine gültigen Kennungen im angegebenen\n\r Kartenblatt für die Zieltransaktion definiert!"
run SwitchKennung
expect exists ND-0042

# No transaction chosen for an assignment: the selected objects are
# released on Yes, each keeping its identifier.
deselect all
select DE-4509-310
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer click BtnCancel
answer message Yes "Sollen die Zuordnungen der selektierten Objekte zu Transaktionen gelöst werden?"
run AssignToTransaction
expect exists DE-4509-310
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'DE-4509-310'"
expect output "0\n"
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_KL where KENNUNG = 'DE-4509-310'"
expect output "0\n"
# On No nothing is released.
deselect all
select ND-0042
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer click BtnCancel
answer message No "Sollen die Zuordnungen der selektierten Objekte zu Transaktionen gelöst werden?"
run AssignToTransaction
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'ND-0042'"
expect output "1\n"

include lib/general_rule_set.kts

# An object assigned to a transaction whose pool lacks its identifier takes
# one of its class from the chooser, filtered by the remembered map sheet.
deselect all
select DE-4509-310
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer form TformGetKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
run AssignToTransaction
expect exists DE-4509-311
expect missing DE-4509-310
exec ${BIN}/dbsql "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED from TA_LIST where KENNUNG like 'DE-4509-31%'"
expect output "DE-4509-311\t4711\t2\tNEW\n"
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_KL where KENNUNG like 'DE-4509-31%'"
expect output "0\n"

# The status display, with no state gate in this build.
activate ND-0042
answer message OK "Das Objekt ND-0042 ist in der Transaktion 4712\n\rmit dem Status 'Schreibend' gesperrt."
run ShowObjStatus
