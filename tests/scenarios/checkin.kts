# A mapper's day that ends with the check-in: the checkout comes in through
# the import, the mapper edits, draws, takes a photo and saves the check
# report, exports transaction 4711, and the export hands over to the
# check-in dialog. The probe run succeeds, the mapper looks at its log (the
# editor is a script that notes the file it was given), and the real run
# records the package in the central system's store. The same package
# handed over once more is taken as checked in and not recorded again. Then,
# after more work, the changed package, with the login no longer stored: the
# central system refuses a transaction it has, and the probe fails.
plugin VD1TransAction2010
let PKG "/usr/bin/python3 ${HERE}/import_package.py"
let SERVER "${TEMP}/vandra server"
let OUT "${TEMP}/abgabe heute"
let EDITOR "${HERE}/lib/editor.sh"
let WAITFILE "${HERE}/lib/waitfile.sh"
let REG "${TEMP}/registry.reg"

# The central system: its store knows the mapper and the database (its
# ini file in the Windows code page).
exec /bin/mkdir -p "${SERVER}" "${OUT}" ${TEMP}/ruhr ${TEMP}/eifel
exec /bin/sh -c "printf '[Nutzer]\r\nkarla=Tür zu 7\r\n[Datenbanken]\r\nvandra_nrw=1\r\n' | iconv -f UTF-8 -t WINDOWS-1252 > '${SERVER}/checkin.ini'"

# Morning: the checkout packages of 4711 and 4712, drawn in the central
# system's project and imported.
new-project ${TEMP}/zentrale
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400 2575000 5695400 as DE-4509-301
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 2576000 5695000 2576500 5695000 2576500 5695500 as NSG-0815
select all
export-geodata ${TEMP}/ruhr/ruhr47.shp
export-xml ${TEMP}/ruhr/ruhr47.xml
close
new-project ${TEMP}/zentrale2
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create ND point 2575300 5695800 as ND-0042
select all
export-geodata ${TEMP}/eifel/eifel4.shp
export-xml ${TEMP}/eifel/eifel4.xml
close
exec ${PKG} write ${TEMP}/ruhr RUHR47 ruhraue
exec ${PKG} write ${TEMP}/eifel EIFEL4 eifel
new-project ${TEMP}/projekt
answer file "${TEMP}/ruhr/RUHR47.tid"
run VD1CustomImport
answer file "${TEMP}/eifel/EIFEL4T.DBF"
run VD1CustomImport
expect objects 3

# The day: the FFH area renamed in its attributes and photographed, a new
# FFH area from the pool.
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
exec ${BIN}/mkjpeg ${TEMP}/DSC0001.jpg 64 48 1
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${TEMP}/DSC0001.jpg"
answer type eKurzname "Hangwald"
answer click BtnOK
wait 20
answer form TFormGetTIDAndKennung
answer select lbTransActions "4711 - Ruhraue bei Hattingen"
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200

# Evening: the check report, saved.
answer form TFormTransActionReport
answer click BtnShowReport
answer form TFormPrintReport
answer click btnSave
answer file "${TEMP}/Pruefbericht.txt"
answer click btnClose
answer click BtnClose
run MakeTransActionReport
expect file ${TEMP}/Pruefbericht.txt contains "DE-4509-311"

# The export of 4711 opens the check-in: login, database, program and
# editor chosen, the login stored.
config VANDRA AutoCheckIn 1
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/RUHR47"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword "Tür zu 7"
answer check cbStoreLogin
answer type EditDBServer "${SERVER}"
answer type EditDatabase vandra_nrw
answer click btnSetProgramDir
answer file "${BIN}/Checkin.exe"
answer click BtnSetEditorName
answer file "${EDITOR}"
answer click btnStart
answer message Yes "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message OK "Scharfen Checkin starten"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
expect hook VD1CustomExport true
expect form TfrmVandraCheckIn
expect message information "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
expect message confirmation "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
# The editor showed the probe's log.
exec ${WAITFILE} "${OUT}/gezeigt.txt"
expect file "${OUT}/gezeigt.txt" contains "${OUT}/RUHR47.log"
# The real run's log, read as the central system wrote it.
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/RUHR47.log" 0 0
# The store has the package.
expect file "${SERVER}/eingecheckt/vandra_nrw/transaktionen.txt" contains "4711\tRUHR47\t"
expect file "${SERVER}/eingecheckt/vandra_nrw/4711/RUHR47_aktion.dbf" exists
# The settings, the login among them.
expect file ${REG} contains "[HKEY_CURRENT_USER\\Vandra\\AutoCheckIn]"
expect file ${REG} contains "\"StoreLoginParams\"=\"1\""
expect file ${REG} contains "\"UserName\"=\"karla\""
expect file ${REG} contains "\"Password\"=\"Tür zu 7\""
expect file ${REG} contains "\"DBServer\"=\"${SERVER}\""
expect file ${REG} contains "\"Datenbank\"=\"vandra_nrw\""
expect file ${REG} contains "\"ProgramPath\"=\"${BIN}/Checkin.exe\""
expect file ${REG} contains "\"EditorPath\"=\"${EDITOR}\""

# The same package handed over again, as after a run whose end the mapper
# did not see: the central system has exactly this package and takes it as
# checked in; it is recorded once.
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/RUHR47"
answer form TfrmVandraCheckIn
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/RUHR47.log" 0 0 "Transaktion 4711 ist mit diesem Paket bereits"
exec /bin/sh -c "grep -c . '${SERVER}/eingecheckt/vandra_nrw/transaktionen.txt'"
expect output "1\n"

# More work, and the package again. The dialog proposes the stored login;
# the mapper stops storing it. The central system has 4711 already, with
# another package: the probe fails, its log is shown, and no real run
# follows.
activate DE-4509-301
set linfos NAME "Ruhrhänge Nord"
post linfos
exec /bin/rm "${OUT}/gezeigt.txt"
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/RUHR47"
answer form TfrmVandraCheckIn
answer uncheck cbStoreLogin
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
run VD1CustomExport
expect hook VD1CustomExport true
exec ${WAITFILE} "${OUT}/gezeigt.txt"
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/RUHR47.log" 1 0 "4711"
exec /bin/sh -c "grep -c . '${SERVER}/eingecheckt/vandra_nrw/transaktionen.txt'"
expect output "1\n"
expect file ${REG} contains "\"StoreLoginParams\"=\"0\""
expect file ${REG} contains "\"UserName\"=\"\""
expect file ${REG} contains "\"Password\"=\"\""

# The next dialog proposes the logon name and no password; the mapper leaves.
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/RUHR47"
answer form TfrmVandraCheckIn
answer click btnCancel
run VD1CustomExport
expect file ${TEMP}/transcript.txt contains "  EditPassword edit \"\" password"

# A photo whose source the package cannot hold, written into the catalogue
# behind the photo dialog's back (as an older version wrote it): the export
# tells it, leaves it out with its picture, names it at the end, and the
# package of 4712 passes the check-in whole.
activate ND-0042
set linfos NAME "Eiche am Hang"
post linfos
exec ${BIN}/mkjpeg "${PROJECT}KTPhotos/KTFoto7.jpg" 32 24 7
exec ${BIN}/mkjpeg "${PROJECT}KTPhotos/KTFoto8.jpg" 32 24 8
exec /bin/sh -c "/usr/bin/sqlite3 '${PROJECT}KTProjekt.db' \"insert into Fotos (FotoID, Kurzname, Quelle, IsNew, PicFileName) values (-7, 'Alteiche', '$(printf 'q%.0s' $(seq 255))', 3, 'KTFoto7.jpg'), (-8, 'Wiese', 'eigene', 3, 'KTFoto8.jpg')\""
append Objektphotos
set Objektphotos PhotoID -7
post Objektphotos
append Objektphotos
set Objektphotos PhotoID -8
post Objektphotos
answer message Yes
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer file "${OUT}/EIFEL4"
answer message OK "Die Quelle des Fotos \"Alteiche\" (FotoID -7) ist länger als 254 Zeichen. Das Foto wird nicht exportiert."
answer message OK "Das Paket ist geschrieben, ohne diese Fotos:\r\"Alteiche\" (FotoID -7, KTFoto7.jpg)"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword "Tür zu 7"
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
expect hook VD1CustomExport true
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/EIFEL4.log" 0 0
expect file "${SERVER}/eingecheckt/vandra_nrw/transaktionen.txt" contains "4712\tEIFEL4\t"
exec /bin/sh -c "ls '${OUT}/EIFEL4_Fotos'"
expect output "KTFoto8.jpg\n"

# The password went into no file of the run but the settings.
exec /bin/sh -c "! grep -rl 'Tür zu' '${OUT}' '${SERVER}/eingecheckt' '${TEMP}/transcript.txt' '${PROJECT}'"
