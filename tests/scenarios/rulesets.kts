# New objects under the other rule sets: the state code "BRB" (pool chooser
# with a map-sheet filter, or a composed identifier when the pool is empty)
# and the second-generation mode.
plugin VD1TransAction2010
include lib/checkout.kts
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'BB-3245NO-0001')"
exec ${BIN}/dbsql "${TA}" "insert into TA_KL (TID,KENNUNG) values (4711,'BB-3245NW-0002')"
config Config Bundesland BRB

# The pool is offered whatever the class; the map-sheet filter narrows it.
answer form TFormGetTIDAndKennungNeu
answer type EditTKBlatt 3245NW
answer check cbAktiviereFilter
answer click btnRequery
answer select lbKennungen "BB-3245NW-0002"
answer click BtnOK
create BIO area 0 0 10 0 10 10
expect exists BB-3245NW-0002
expect file ${PROJECT}KTProjekt.ktp contains "TK-Blatt=3245NW"
exec ${BIN}/dbsql "${TA}" "select TID,SCHREIBEND,CHANGED from TA_LIST where KENNUNG = 'BB-3245NW-0002'"
expect output "4711\t2\tNEW\n"

# The filter is offered again; nothing left on that sheet.
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennungNeu
answer uncheck cbAktiviereFilter
answer click btnRequery
answer select lbKennungen "BB-3245NO-0001"
answer click BtnOK
create BIO area 20 20 30 20 30 30
expect exists BB-3245NO-0001

# An empty pool: the mapper composes the identifier; one already used is
# refused, the next proposal is free.
exec ${BIN}/dbsql "${TA}" "delete from TA_KL"
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer form TFormGetKennungBB
answer type EditAG AB
answer type EditNummer 7
answer type EditKarte 3847no
answer click btnCalcKennung
answer click btnOK
create BIO point 5 5
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer form TFormGetKennungBB
answer click btnOK
create BIO point 6 6
exec /bin/sh -c "${BIN}/dbsql '${TA}' 'select KENNUNG from TA_LIST where TID = 4712 and SCHREIBEND = 2' | cut -c1-2,5-"
expect output "AB007-3847NO0001\nAB007-3847NO0002\n"
expect file ${PROJECT}KTProjekt.ktp contains "Kartenblatt=3847NO"

# Second-generation mode: the host's identifier, only the transaction asked.
config "VANDRA II" VD2Transaktion 1
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
create FFH area 40 40 50 40 50 50 as FFH-Host-1
exec ${BIN}/dbsql "${TA}" "select TID,SCHREIBEND,CHANGED from TA_LIST where KENNUNG = 'FFH-Host-1'"
expect output "4711\t2\tNEW\n"
