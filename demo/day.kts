# A mapper's day in KARTUL with the VANDRA plug-in, run by scripts/demo:
#   kartul-sim --build VD1TransAction2010 --trace demo/day.kts
# Everything happens in kartul-sim's temporary folder. The dialogs the
# plug-in shows are answered by the "answer" lines; the transaction tables
# are shown with dbsql along the way.

echo === Morning: the checked-out transactions come in from VANDRA
include import.kts
show objects
exec ${BIN}/dbsql -H "${TA}" "select TID,NAME,OWNER from TA_ID"
exec ${BIN}/dbsql -H "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST"

echo === What may be done with the nature reserve?
activate NSG-0815
answer message OK
run ShowObjStatus

echo === Field work: the reserve's attributes, its boundary (refused), the FFH area's boundary
set linfos NAME "Heide am Bach"
post linfos
answer message OK "Das Objekt ist lesend gesperrt. Seine Geometrie darf nicht verändert werden!"
move NSG-0815 1 2576600 5695100
move DE-4509-301 2 2575700 5695500

echo === A new FFH area, its identifier taken from the transaction's pool
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
run SetGaussKrueger
run SetETRS89
expect value linfos GK_RW 2574200

echo === A meadow with its plant list, outside any transaction
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create PFL point 2575250 5695100 as PFL-Wiese
append Pflanzenliste
set Pflanzenliste Status e
set Pflanzenliste Art "Arnica montana"
post Pflanzenliste
expect value Pflanzenliste Status ""

echo === The identifiers of listed objects stay; a new one may switch within the pool
answer message OK "Das Objekt ND-0042 ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher nicht geändert werden."
rename ND-0042 ND-Eiche
activate DE-4509-311
answer form TformGetKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
run SwitchKennung

echo === A lime tree found in the field joins the Eifel transaction under a pool identifier
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create ND point 2575400 5695900 as ND-Linde
deselect all
select ND-Linde
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer form TformGetKennung
answer select lbKennungen "ND-0051"
answer click BtnOK
run AssignToTransaction
expect exists ND-0051

echo === The oak has fallen: the checked-out monument is deleted
delete ND-0042

echo === All new objects, in every transaction
answer form TformGetStatus
answer select RadioGroup1 "neu"
answer click BtnWeiter
run SelectByStatus
show selection

echo === Evening: the check report, saved for the hand-back
answer form TFormTransActionReport
answer click BtnShowReport
answer form TFormPrintReport
answer click btnSave
answer file "${TEMP}/Pruefbericht.txt"
answer click btnClose
answer click BtnClose
run MakeTransActionReport
expect file ${TEMP}/Pruefbericht.txt contains "Transaktionsnummer: 4712"
exec /usr/bin/iconv -f WINDOWS-1252 -t UTF-8 ${TEMP}/Pruefbericht.txt
exec ${BIN}/dbsql -H "${TA}" "select KENNUNG,TID,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST"
exec ${BIN}/dbsql -H "${TA}" "select TID,KENNUNG from TA_KL"

echo === Hand-back: the Ruhr transaction exported and checked in at VANDRA
exec /bin/mkdir -p "${TEMP}/vandra" "${TEMP}/abgabe"
exec /bin/sh -c "printf '[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nvandra_nrw=1\r\n' > '${TEMP}/vandra/checkin.ini'"
config VANDRA AutoCheckIn 1
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${TEMP}/abgabe/RUHR47"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer type EditDBServer "${TEMP}/vandra"
answer type EditDatabase vandra_nrw
answer type editProgrammpfad "${BIN}/Checkin.exe"
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
exec /usr/bin/iconv -f WINDOWS-1252 -t UTF-8 ${TEMP}/abgabe/RUHR47.log
exec /bin/cat ${TEMP}/vandra/eingecheckt/vandra_nrw/transaktionen.txt
close
