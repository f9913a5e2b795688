# Body of rulesets_earlier.kts and rulesets_reduced.kts: the earlier build
# in ${BUILD} (the including scenario sets it) knows neither the "BRB" rule
# set nor the second-generation mode: under the state code "BRB" and with
# the switch set, a new object still takes the general path, with the
# chooser TFormGetTIDAndKennung filtered by the class prefix (and in
# TransactHooks by its own map-sheet filter; never
# TFormGetTIDAndKennungNeu, never a composed identifier from
# TFormGetKennungBB); it needs only TA_ID and says "Transaktionsliste nicht
# gefunden!" without it.
plugin ${BUILD}
include lib/checkout.kts
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'BB-3245NO-0001')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'BB-3245NW-0002')"
config Config Bundesland BRB

# The state code does not open the pool to every class: a BIO object finds
# no identifier of its class, the map-sheet identifiers are not offered.
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO area 0 0 10 0 10 10
expect form TFormGetTIDAndKennung
expect exists BIO-1
exec /bin/sh -c "! grep -q 'BB-3245' ${TEMP}/transcript.txt"
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'BIO-1'"
expect output "0\n"

# An FFH object takes a "DE-" identifier as in any state; the map-sheet
# filter of TransactHooks is that build's own, kept as "TK-Blatt".
answer form TFormGetTIDAndKennung
when ${BUILD} = TransactHooks answer type EditTKBlatt 4509
when ${BUILD} = TransactHooks answer check cbAktiviereFilter
when ${BUILD} = TransactHooks answer click btnRequery
answer select lbKennungen "DE-4509-310"
answer click BtnOK
create FFH area 20 20 30 20 30 30
expect exists DE-4509-310
exec /bin/sh -c "! grep -q 'BB-3245' ${TEMP}/transcript.txt"
when ${BUILD} = TransactHooks expect file ${PROJECT}KTProjekt.ktp contains TK-Blatt=4509
exec ${BIN}/dbsql "${TA}" "select TID,SCHREIBEND,CHANGED from TA_LIST where KENNUNG = 'DE-4509-310'"
expect output "4711\t2\tNEW\n"

# An empty pool: no identifier is composed; the chooser offers nothing in
# any transaction, and the object keeps the host's identifier outside the
# transactions.
exec ${BIN}/dbsql "${TA}" "delete from TA_KL"
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer select lbTransActions "4712 - Eifelwiesen"
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer click BtnNoTID
create BIO point 5 5
expect exists BIO-2
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'BIO-2'"
expect output "0\n"
exec /bin/sh -c "! grep -q 'TFormGetTIDAndKennungNeu\\|TFormGetKennungBB' ${TEMP}/transcript.txt"
exec /bin/sh -c "! grep -q 'Kartenblatt' ${PROJECT}KTProjekt.ktp"

# Second-generation mode: the same chooser, not the transaction alone.
config "VANDRA II" VD2Transaktion 1
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnCancel
create FFH area 40 40 50 40 50 50 as FFH-Host-1
expect form TFormGetTIDAndKennung
expect missing FFH-Host-1

# TA_ID alone is needed: without the pool table the chooser still opens
# (no "Transaktions- oder Kennungsliste nicht gefunden!"); without TA_ID
# the mapper is told and the object belongs to no transaction.
exec /bin/sh -c "mv ${PROJECT}TA_KL.* ${TEMP}/"
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO point 6 6
expect form TFormGetTIDAndKennung
expect exists BIO-3
exec /bin/sh -c "! grep -q 'Kennungsliste nicht gefunden' ${TEMP}/transcript.txt"
exec /bin/sh -c "mv ${PROJECT}TA_ID.* ${TEMP}/"
answer message OK "Transaktionsliste nicht gefunden!"
create BIO point 7 7
expect exists BIO-4
exec ${BIN}/dbsql "${TA}" "select count(*) from TA_LIST where KENNUNG = 'BIO-4'"
expect output "0\n"
