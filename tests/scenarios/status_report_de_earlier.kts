# The status display and the selection by status of VD1TransAction, in a
# German locale: they work only where the state is "RLP"; the status words
# are capitalised and the second line always reads "mit dem Status '...'
# gesperrt."; the chooser offers "Lesend gesperrt", "Schreibend gesperrt",
# "Neu" and remembers the choice under this build's registry key. The build
# has no coordinate commands.
plugin VD1TransAction
include lib/checkout.kts

# A new object in each transaction, a deleted checked-out one whose object
# is still drawn, and a row with a status code the system does not know.
answer form TFormGetTIDAndKennung
answer select lbKennungen "NSG-0816"
answer click BtnOK
create NSG area 10 10 60 10 60 60 10 60
answer form TFormGetTIDAndKennung
answer select lbTransActions "4712 - Eifelwiesen"
answer select lbKennungen "ND-0051"
answer click BtnOK
create ND point 5 5
exec ${BIN}/dbsql "${TA}" "update TA_LIST set SCHREIBEND = 3, CHANGED = 'DELETE' where KENNUNG = 'ND-0042'"

# Outside the state "RLP" both commands do nothing at all: no message, no
# chooser, the selection stays.
activate NSG-0815
run ShowObjStatus
expect hooks ShowObjStatus AfterKARTULCommand
select DE-4509-301
run SelectByStatus
expect hooks SelectByStatus AfterKARTULCommand
expect selection DE-4509-301
config Config Bundesland NRW
run ShowObjStatus
expect hooks ShowObjStatus AfterKARTULCommand
exec /bin/sh -c "! grep -q 'TformGetStatus\\|ist in der Transaktion' ${TEMP}/transcript.txt"

# In "RLP": the status of an object of each status, one sentence for all.
config Config Bundesland RLP
answer message OK "Das Objekt NSG-0815 ist in der Transaktion 4711\n\rmit dem Status 'Lesend' gesperrt."
run ShowObjStatus
answer message OK "Das Objekt DE-4509-301 ist in der Transaktion 4711\n\rmit dem Status 'Schreibend' gesperrt."
activate DE-4509-301
run ShowObjStatus
answer message OK "Das Objekt NSG-0816 ist in der Transaktion 4711\n\rmit dem Status 'Neu' gesperrt."
activate NSG-0816
run ShowObjStatus
answer message OK "Das Objekt ND-0042 ist in der Transaktion 4712\n\rmit dem Status 'Gelöscht' gesperrt."
activate ND-0042
run ShowObjStatus
exec ${BIN}/dbsql "${TA}" "update TA_LIST set SCHREIBEND = 7 where KENNUNG = 'ND-0042'"
answer message OK "Das Objekt ND-0042 ist in der Transaktion 4712\n\rmit dem Status 'Unbekannt' gesperrt."
run ShowObjStatus
exec ${BIN}/dbsql "${TA}" "update TA_LIST set SCHREIBEND = 3 where KENNUNG = 'ND-0042'"

# An object outside the list, and no active object.
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO point 7 7 as BIO-frei
answer message OK "Das Objekt BIO-frei ist nicht in der Transaktionsliste eingetragen!"
run ShowObjStatus
delete BIO-frei
answer message OK "Es konnte kein aktives Objekt ermittelt werden!"
run ShowObjStatus

# The chooser opens on "Lesend gesperrt" with no stored choice; "Neu" takes
# the new objects of both transactions.
answer form TformGetStatus
answer select RadioGroup1 "Neu"
answer click BtnWeiter
run SelectByStatus
expect form TformGetStatus
expect selection NSG-0816 ND-0051
expect file ${TEMP}/transcript.txt contains "(*) #0 \"Lesend gesperrt\""
expect file ${TEMP}/transcript.txt contains "( ) #1 \"Schreibend gesperrt\""
expect file ${TEMP}/transcript.txt contains "( ) #2 \"Neu\""
expect file ${TEMP}/registry.reg contains "\\3.2\\VANDRA2\\VD2Transaktionen]\n\"SelectStatus\"=\"2\""
exec /bin/sh -c "! grep -q '5.1' ${TEMP}/registry.reg"

# Next time it opens on "Neu"; cancelled, it changes nothing.
deselect all
answer form TformGetStatus
answer click btnCancel
run SelectByStatus
expect selection none
answer form TformGetStatus
answer click BtnWeiter
run SelectByStatus
expect selection NSG-0816 ND-0051
answer form TformGetStatus
answer select RadioGroup1 "Schreibend gesperrt"
answer click BtnWeiter
run SelectByStatus
expect selection DE-4509-301

# A status no object has is named with this build's word.
exec ${BIN}/dbsql "${TA}" "update TA_LIST set SCHREIBEND = 1 where KENNUNG = 'NSG-0815'"
answer form TformGetStatus
answer select RadioGroup1 "Lesend gesperrt"
answer click BtnWeiter
answer message OK "Es gibt keine Objekte mit dem Status Lesend."
run SelectByStatus
expect selection DE-4509-301

# No coordinate commands in this build.
activate NSG-0816
fails run SetETRS89
fails run SetGaussKrueger
