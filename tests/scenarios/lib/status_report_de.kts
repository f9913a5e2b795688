# Body of status_report_de_earlier.kts and status_report_de_reduced.kts:
# the status display and the selection by status of an earlier build
# (${BUILD}, which the including scenario sets), in a German locale, with
# the capitalised status words and the second line "mit dem Status '...'
# gesperrt." for every status, a row with a status code the system does
# not know among them; the chooser offers "Lesend gesperrt", "Schreibend
# gesperrt", "Neu" and remembers the choice under this build's registry
# key. Where the builds differ, in the state gate of VD1TransAction, each
# has a part of its own (lib/status_gate_<build>.kts). Neither build has
# coordinate commands.
plugin ${BUILD}
include lib/checkout.kts
include lib/status_objects.kts
include lib/status_gate_${BUILD}.kts

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
