# The check-in's failures, each after an export of transaction 4711 into
# the same folder: a missing program, a package that lost a picture on its
# way (the probe finds it, no real run follows), a program that writes no
# log or crashes while the log of an earlier good run lies there, a count
# line ending in a blank, a missing editor, a program that hangs until the
# mapper cancels it, one that crashes after a log without errors, and a
# slow program that is waited for. The central system's store and its test switches are set by
# rewriting its checkin.ini.
plugin VD1TransAction2010
include lib/checkout.kts
let DB "${PROJECT}KTProjekt.db"
let SERVER "${TEMP}/server"
let OUT "${TEMP}/aus"
let LOG "${OUT}/FEHL.log"
let EDITOR "${HERE}/lib/editor.sh"
let WAITFILE "${HERE}/lib/waitfile.sh"
let LOGIN "[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nnrw=1\r\n"
let TID "4711 - Ruhraue bei Hattingen"
exec /bin/mkdir -p "${SERVER}" "${OUT}" "${TEMP}/verlust"
exec /bin/sh -c "printf '${LOGIN}' > '${SERVER}/checkin.ini'"
config VANDRA AutoCheckIn 1

# The changed FFH area has a photo, so the package carries a picture.
exec /usr/bin/sqlite3 "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'Hang', 3, 'KTFoto1.jpg')"
exec ${BIN}/mkjpeg "${PROJECT}KTPhotos/KTFoto1.jpg" 16 16
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
append Objektphotos
set Objektphotos PhotoID -1
post Objektphotos

# A program path that leads nowhere: the settings are kept, the dialog ends.
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer check cbStoreLogin
answer type EditDBServer "${SERVER}"
answer type EditDatabase nrw
answer type editProgrammpfad "${TEMP}/nirgends/Checkin.exe"
answer type EditEditorPath "${EDITOR}"
answer click btnStart
answer message OK "Das Programm ${TEMP}/nirgends/Checkin.exe konnte nicht gefunden werden!"
run VD1CustomExport
expect hook VD1CustomExport true
expect file ${TEMP}/registry.reg contains "\"ProgramPath\"=\"${TEMP}/nirgends/Checkin.exe\""
expect file ${TEMP}/registry.reg contains "\"Password\"=\"geheim\""
expect file ${LOG} missing

# The package loses its picture on the way to the central system (the
# program chosen is a hand-over that empties the photo folder before the
# check-in program sees the package): the probe finds the photo row without
# its file, the log is shown, no real run follows.
exec /bin/cp ${HERE}/lib/lossy_handover.sh ${TEMP}/verlust/Checkin.exe
exec /bin/ln -s ${BIN}/Checkin.exe ${TEMP}/verlust/echt
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer click btnSetProgramDir
answer file "${TEMP}/verlust/Checkin.exe"
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
run VD1CustomExport
exec ${WAITFILE} "${OUT}/gezeigt.txt"
expect file "${OUT}/gezeigt.txt" contains "${LOG}"
exec /usr/bin/python3 ${HERE}/checkin_log.py "${LOG}" 1 0 KTFoto1.jpg
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" missing

# No log, or a crash, while the log of an earlier good run lies there: the
# old log is gone before the run, so the run counts as failed.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=keinlog\r\n' > '${SERVER}/checkin.ini'"
exec /bin/sh -c "printf 'Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n' > '${LOG}'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer type editProgrammpfad "${BIN}/Checkin.exe"
answer click btnStart
answer message OK "Die Logdatei ${LOG} konnte nicht gefunden werden!"
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Die Logdatei ${LOG} konnte nicht gefunden werden!"
run VD1CustomExport
expect file ${LOG} missing
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=absturz\r\n' > '${SERVER}/checkin.ini'"
exec /bin/sh -c "printf 'Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n' > '${LOG}'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer click btnStart
answer message OK "Das Programm ${BIN}/Checkin.exe ist abgestürzt (Signal 6). Der Lauf gilt als nicht erfolgreich, was auch immer seine Logdatei meldet."
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Die Logdatei ${LOG} konnte nicht gefunden werden!"
run VD1CustomExport
expect file ${LOG} missing
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" missing

# A count line that ends in a blank has no count: the probe fails; the
# editor the mapper names is not there.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=leerzeichen\r\n' > '${SERVER}/checkin.ini'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer type EditEditorPath "${TEMP}/kein Editor"
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor ${TEMP}/kein Editor konnte nicht gefunden werden!"
run VD1CustomExport
expect file ${LOG} contains "Sachdatenfehler: 0 \r\n"

# A program that hangs: the dialog shows that it runs, the mapper waits a
# second and cancels; the program and the helper it started are ended, and
# the run failed. The program chosen starts the real one, whose store tells
# it to wait for ten minutes.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=warten\r\nSekunden=600\r\n' > '${SERVER}/checkin.ini'"
exec /bin/mkdir -p ${TEMP}/haengt
exec /bin/cp ${HERE}/lib/hang.sh ${TEMP}/haengt/Checkin.exe
exec /bin/ln -s ${BIN}/Checkin.exe ${TEMP}/haengt/echt
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer type editProgrammpfad "${TEMP}/haengt/Checkin.exe"
answer click btnStart
answer form TFormCheckInLaeuft
answer wait 1000
answer click btnAbbrechen
answer message OK "Der Probe-Checkin wurde abgebrochen: das Programm ${TEMP}/haengt/Checkin.exe wurde beendet."
run VD1CustomExport
expect form TFormCheckInLaeuft
expect file ${TEMP}/transcript.txt contains "lblSekunden label \"seit 0 Sekunden\""
exec ${HERE}/lib/gone.sh ${TEMP}/haengt/prozesse
expect file ${LOG} missing
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" missing

# A program that crashes after it wrote a log without errors, before it
# recorded the package: the run failed, whatever the log says; the log is
# shown; nothing is recorded.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=absturznachlog\r\n' > '${SERVER}/checkin.ini'"
exec /bin/rm -f "${OUT}/gezeigt.txt"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer type editProgrammpfad "${BIN}/Checkin.exe"
answer type EditEditorPath "${EDITOR}"
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message OK "Das Programm ${BIN}/Checkin.exe ist abgestürzt (Signal 6). Der Lauf gilt als nicht erfolgreich, was auch immer seine Logdatei meldet."
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${LOG}" 0 0 "Transaktion 4711 wird in Datenbank nrw eingecheckt"
exec ${WAITFILE} "${OUT}/gezeigt.txt"
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" missing

# A slow program is waited for; then probe and real run succeed: the
# hand-over cut above goes through when it is tried again.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=warten\r\nSekunden=1\r\n' > '${SERVER}/checkin.ini'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/FEHL"
answer form TfrmVandraCheckIn
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${LOG}" 0 0
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" contains "4711\tFEHL\t"
