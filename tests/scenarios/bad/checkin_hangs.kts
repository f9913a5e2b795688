# exit: 1
# env: KARTUL_WAIT_LIMIT=2
# message: UNEXPECTED form TFormCheckInLaeuft "VANDRA Check-In läuft" did not close by itself within 2 s
# A check-in program that hangs (the stand-in told to wait ten minutes)
# while the script has no answer for the wait dialog: the run fails once
# the wait limit has passed, naming the dialog, instead of stalling.
plugin VD1TransAction2010
include ../lib/checkout.kts
let SERVER "${TEMP}/server"
let OUT "${TEMP}/aus"
exec /bin/mkdir -p "${SERVER}" "${OUT}"
exec /bin/sh -c "printf '[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nnrw=1\r\n[Test]\r\nVerhalten=warten\r\nSekunden=600\r\n' > '${SERVER}/checkin.ini'"
config VANDRA AutoCheckIn 1
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/HAENGT"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer type EditDBServer "${SERVER}"
answer type EditDatabase nrw
answer type editProgrammpfad "${BIN}/Checkin.exe"
answer click btnStart
answer message OK "Der Probe-Checkin wurde abgebrochen: das Programm ${BIN}/Checkin.exe wurde beendet."
run VD1CustomExport
