# The earlier full build hands its export to the same check-in dialog: a
# probe that finds nothing and a real run that records the package.
plugin VD1TransAction
include lib/checkout.kts
let SERVER "${TEMP}/server"
let OUT "${TEMP}/aus"
exec /bin/mkdir -p "${SERVER}" "${OUT}"
exec /bin/sh -c "printf '[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nnrw=1\r\n' > '${SERVER}/checkin.ini'"
config VANDRA AutoCheckIn 1
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/ALT"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer type EditDBServer "${SERVER}"
answer type EditDatabase nrw
answer type editProgrammpfad "${BIN}/Checkin.exe"
answer click btnStart
answer message No "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?"
answer message No "Checkin erfolgreich durchgeführt! Logdatei ansehen?"
run VD1CustomExport
expect hook VD1CustomExport true
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/ALT.log" 0 0
expect file "${SERVER}/eingecheckt/nrw/transaktionen.txt" contains "4711\tALT\t"
