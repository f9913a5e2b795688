# How the check-in program ends, and what its run counts as, each after an
# export of transaction 4711 into the same folder: a program that writes no
# log, or crashes before it writes one, while the log of an earlier good
# run lies there, fails; one that ends with exit code -1 is judged by its
# log, as any program that ended by itself (its failure told as the log's,
# never as a crash); one that crashes after a log without errors fails
# whatever the log says, and nothing is recorded; at last -1 after a clean
# probe and a clean real run records the package. The same scenario runs
# through the Linux host and the 32-bit Windows host, each with its own
# Checkin.exe: the crash's message names a signal on Linux and an
# exception's status on Windows, so only its words around that are held.
plugin VD1TransAction2010
include lib/checkout.kts
let SERVER "${TEMP}/server"
let OUT "${TEMP}/aus"
let LOG "${OUT}/ENDE.log"
let TRANSCRIPT "${TEMP}/transcript.txt"
let LOGIN "[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nnrw=1\r\n"
let TID "4711 - Ruhraue bei Hattingen"
let STALE "Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n"
exec /bin/mkdir -p "${SERVER}" "${OUT}"
config VANDRA AutoCheckIn 1
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos

# No log while a good one of an earlier run lies there: the old one is
# gone before the run, so the run failed.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=keinlog\r\n' > '${SERVER}/checkin.ini'"
exec /bin/sh -c "printf '${STALE}' > '${LOG}'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/ENDE"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer type EditDBServer "${SERVER}"
answer type EditDatabase nrw
answer type editProgrammpfad "${BIN}/Checkin.exe"
answer click btnStart
answer message OK "Die Logdatei ${LOG} konnte nicht gefunden werden!"
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Die Logdatei ${LOG} konnte nicht gefunden werden!"
run VD1CustomExport
expect hook VD1CustomExport true
expect file ${LOG} missing

# A crash before any log: told as a crash, then the usual failure.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=absturz\r\n' > '${SERVER}/checkin.ini'"
exec /bin/sh -c "printf '${STALE}' > '${LOG}'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/ENDE"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer click btnStart
answer message OK
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Die Logdatei ${LOG} konnte nicht gefunden werden!"
run VD1CustomExport
expect file ${TRANSCRIPT} contains "Das Programm ${BIN}/Checkin.exe ist abgestürzt ("
expect file ${TRANSCRIPT} contains "). Der Lauf gilt als nicht erfolgreich, was auch immer seine Logdatei meldet."
expect message "Der Probe-Checkin war nicht erfolgreich!"
expect file ${LOG} missing
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" missing

# Exit code -1 with a log that has a finding (a wrong password): an
# ordinary end, the log decides, and no crash is told.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=minuseins\r\n' > '${SERVER}/checkin.ini'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/ENDE"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword falsch
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor  konnte nicht gefunden werden!"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${LOG}" 1 0 "Anmeldung: Nutzer \"karla\" unbekannt oder Passwort falsch"
exec /bin/sh -c "grep -c 'ist abgestürzt' '${TRANSCRIPT}'"
expect output "1\n"

# A crash after the real run wrote a log without errors, before it
# recorded the package: the run failed, whatever the log says; the log is
# there to be shown; nothing is recorded.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=absturznachlog\r\n' > '${SERVER}/checkin.ini'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/ENDE"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message OK
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor  konnte nicht gefunden werden!"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${LOG}" 0 0 "Transaktion 4711 wird in Datenbank nrw eingecheckt"
exec /bin/sh -c "grep -c 'Checkin.exe ist abgestürzt (' '${TRANSCRIPT}'"
expect output "2\n"
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" missing

# Exit code -1 after a clean probe and a clean real run: both count as
# done, and the package is recorded.
exec /bin/sh -c "printf '${LOGIN}[Test]\r\nVerhalten=minuseins\r\n' > '${SERVER}/checkin.ini'"
answer message Yes
answer form TFormGetTID
answer select lbTID "${TID}"
answer click BtnOK
answer file "${OUT}/ENDE"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
expect hook VD1CustomExport true
exec /usr/bin/python3 ${HERE}/checkin_log.py "${LOG}" 0 0 "Transaktion 4711 eingecheckt in Datenbank nrw"
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" contains "4711\tENDE\t"
exec /bin/sh -c "grep -c 'ist abgestürzt' '${TRANSCRIPT}'"
expect output "2\n"
